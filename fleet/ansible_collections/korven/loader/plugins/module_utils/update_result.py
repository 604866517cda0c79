# -*- coding: utf-8 -*-
# How the update module ends once korven-cli has: ok, changed or failed, and
# the message that says why, from the report it printed or left on disk.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import os

from ansible_collections.korven.loader.plugins.module_utils.korven_cli import cli_message
from ansible_collections.korven.loader.plugins.module_utils.report import (
    name_lines, unclean_lines, what_happened, what_would_happen)


def exit_dry_run(module, image, rc, out, err, result):
    report = result['report']
    if rc not in (0, 1) or 'terminals' not in report:
        module.fail_json(msg=cli_message(rc, out, err), **result)
    if not report['terminals'] and module.params['retry_report']:
        module.exit_json(msg='dry run: nothing to retry in %s' % module.params['retry_report'], **result)
    msg = 'dry run: ' + what_would_happen(report)
    if not os.path.isfile(image):
        msg += '; %s is not on this host yet' % image
    unanswered = unclean_lines(report)
    if unanswered:
        module.warn('dry run: %s would not be streamed: %s' % (
            'terminal' if len(unanswered) == 1 else '%d terminals' % len(unanswered),
            name_lines(unanswered)))
    module.exit_json(msg=msg, **result)


def exit_run(module, rc, out, err, printed, result):
    report, params = result['report'], module.params
    if not printed:
        # Refused, ended early or killed: why, and what the report on disk holds.
        msg = cli_message(rc, out, err) if rc != 0 else 'korven-cli printed no report (exit 0)'
        if report.get('terminals'):
            msg += '; the report says %s' % what_happened(report)
        module.fail_json(msg=msg, **result)
    if rc == 0 and not report['terminals'] and params['retry_report']:
        module.exit_json(msg='nothing to retry in %s' % params['retry_report'], **result)
    if rc == 0:
        module.exit_json(msg=what_happened(report), **result)
    unclean = unclean_lines(report)
    if rc == 1 and unclean:
        what = '%d of %d terminals not clean: %s' % (
            len(unclean), len(report['terminals']), name_lines(unclean))
        if not params['fail_on_unclean']:
            module.warn(what)
            module.exit_json(msg=what, **result)
        module.fail_json(msg=what, **result)
    module.fail_json(msg='%s; the report says %s' % (cli_message(rc, out, err), what_happened(report)),
                     **result)
