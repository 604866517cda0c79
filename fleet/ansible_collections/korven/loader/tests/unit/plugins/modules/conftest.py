# -*- coding: utf-8 -*-
# The modules run in-process against a fake korven-cli: a script that records
# its arguments, leaves the report file and prints what the test told it to,
# with the exit status given.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json
import os
import shlex

import pytest

from ansible.module_utils import basic
from ansible.module_utils.common import warnings
from ansible.module_utils.common.text.converters import to_bytes


class Ended(Exception):
    def __init__(self, failed, result):
        super(Ended, self).__init__(result.get('msg'))
        self.failed, self.result = failed, result


class FakeCli(object):
    def __init__(self, folder):
        self.path, self.argv_file = str(folder / 'korven-cli'), folder / 'argv'

    def says(self, rc, stdout='', stderr='', csv=None):
        """What the next run prints, the CSV it leaves at the path given after
        --report (none when csv is None), and how it exits: rc None is killed."""
        ending = 'kill -9 $$' if rc is None else 'exit %d' % rc
        keep = '' if csv is None else 'printf %%s %s >"$report"\n' % shlex.quote(csv)
        with open(self.path, 'w') as f:
            f.write("#!/bin/sh\nprintf '%%s\\n' \"$@\" >%s\n"
                    'while [ $# -gt 0 ]; do [ "$1" = --report ] && report=$2; shift; done\n'
                    "%sprintf %%s %s\nprintf %%s %s >&2\n%s\n" % (
                        self.argv_file, keep, shlex.quote(stdout), shlex.quote(stderr), ending))
        os.chmod(self.path, 0o700)

    def argv(self):
        return self.argv_file.read_text().splitlines()


@pytest.fixture
def cli(tmp_path):
    return FakeCli(tmp_path)


@pytest.fixture
def run(monkeypatch, cli):
    """run(module, args, check_mode=False) -> Ended: how the module ended."""
    def exit_json(self, **result):
        raise Ended(False, dict(result, warnings=list(warnings.get_warning_messages())))

    def fail_json(self, **result):
        raise Ended(True, result)

    monkeypatch.setattr(basic.AnsibleModule, 'exit_json', exit_json)
    monkeypatch.setattr(basic.AnsibleModule, 'fail_json', fail_json)
    monkeypatch.setattr(warnings, '_global_warnings', [])

    def run_module(module, args, check_mode=False):
        args = dict(args, _ansible_check_mode=check_mode)
        if '\n  cli:' in module.DOCUMENTATION:  # a module that runs korven-cli runs the fake
            args['cli'] = cli.path
        monkeypatch.setattr(basic, '_ANSIBLE_ARGS', to_bytes(json.dumps({'ANSIBLE_MODULE_ARGS': args})))
        with pytest.raises(Ended) as ended:
            module.main()
        return ended.value
    return run_module
