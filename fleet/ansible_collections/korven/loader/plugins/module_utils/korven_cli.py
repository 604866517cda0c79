# -*- coding: utf-8 -*-
# What the korven.loader modules share: finding korven-cli on the site PC,
# running it, and reading its JSON and its errors.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json

# Options every module takes the same way.
CLI_OPTION = dict(type='path')
INTERFACE_OPTION = dict(type='list', elements='str')


def find_cli(module):
    """The korven-cli to run: the option `cli`, else the one on PATH."""
    given = module.params.get('cli')
    if given:
        return given
    found = module.get_bin_path('korven-cli')
    if not found:
        module.fail_json(msg='korven-cli not found on PATH; install the korven-loader '
                             'package on this PC or give its path in the option cli')
    return found


def seconds(value):
    """5.0 seconds written "5", as a technician would type it."""
    return str(int(value)) if float(value).is_integer() else str(value)


def interface_args(interfaces):
    return ['--interface', ','.join(interfaces)] if interfaces else []


def run_cli(module, args, cwd=None):
    """Runs korven-cli with args; returns (command, rc, stdout, stderr)."""
    command = [find_cli(module)] + args
    # expand_user_and_vars=False: an address or a file name is passed as given.
    rc, out, err = module.run_command(command, cwd=cwd, expand_user_and_vars=False)
    return command, rc, out, err


def parse_json(text):
    """The one JSON object korven-cli printed, or None."""
    try:
        value = json.loads(text)
    except ValueError:
        return None
    return value if isinstance(value, dict) else None


def cli_message(rc, out, err):
    """The reason korven-cli gave for exit rc: its JSON error, else stderr."""
    printed = parse_json(out)
    if printed and printed.get('error'):
        return printed['error']
    if rc < 0:
        return 'korven-cli was killed by signal %d' % -rc
    lines = [line for line in err.splitlines() if line.strip()]
    # The closing tally may follow the reason; messages are "korven-cli: ...".
    reasons = [line for line in lines if line.startswith('korven-cli: ')] or lines
    if reasons:
        return reasons[-1]
    return 'korven-cli ended with exit %d and said nothing' % rc
