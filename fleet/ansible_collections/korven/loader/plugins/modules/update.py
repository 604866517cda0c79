#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: update
short_description: Stream a firmware image to the KORVEN terminals of a site
version_added: 1.1.0
description:
  - Runs C(korven-cli update IMAGE TARGET --json) on the site PC and returns its
    report, one line per terminal, as data.
  - Exactly one target is required, as for the command line; nothing updates every
    terminal by default.
  - The task is C(ok) when every terminal of the update streamed and none replied
    C(CHKERR) or C(FULL) in this update (exit 0). When some terminal is not clean
    (exit 1), the task fails with a message naming those terminals, unless
    I(fail_on_unclean=false). A refused update (exit 2) or no terminal found
    (exit 3) fails with the command line's own message.
  - In check mode the command line runs with C(--dry-run), which finds the
    terminals, opens their connections and reads the image, then stops before the
    first frame or byte; a terminal not connected is then a warning, not a failure.
  - The update sends broadcasts on the site's network; it is meant to run on the
    site PC next to the terminals, one site per host of the inventory.
author:
  - KORVEN loader team (@korven)
requirements:
  - korven-cli 1.1W on the site PC (the korven-loader package)
options:
  image:
    description:
      - The firmware image on the site PC (C(*.BIN)). A relative path is taken
        from the home folder of the login.
    type: path
    required: true
  all:
    description:
      - Update every terminal that answers the discovery query within I(wait),
        in one batch or in I(waves).
    type: bool
  from:
    description:
      - With I(all), the first terminal of the range, by its number in the list
        of terminals found (from 0).
    type: int
  to:
    description:
      - With I(all), the last terminal of the range, by its number.
    type: int
  terminal:
    description:
      - Update this one terminal (IPv4 address), as the window does with an
        address in its box.
    type: str
  terminals:
    description:
      - Update exactly these terminals (IPv4 addresses) in one batch; replies
        from other terminals are ignored.
    type: list
    elements: str
  retry_report:
    description:
      - Update the terminals whose outcome in this earlier report (a CSV on the
        site PC) was not clean.
    type: path
  delay:
    description:
      - Extra milliseconds per block, as typed into the window's delay box.
    type: int
  go_boot:
    description:
      - The GO BOOT switch. Default of the command line is on.
    type: bool
  wait:
    description:
      - Seconds the terminals may take to answer and to connect.
    type: float
  verdict_wait:
    description:
      - Seconds to wait after the streams for each streamed terminal's status
        reply; 0 waits for none.
    type: float
  waves:
    description:
      - The terminals of the site in waves, each one batch, like Ansible's
        C(serial) within the site; counts or percentages, the last one repeats.
    type: list
    elements: str
  max_failed:
    description:
      - With I(waves), no further wave starts once more terminals than this
        (a count C(N) or a percentage C(P%)) are not clean. Command line's
        default with waves is 0.
    type: str
  pause_between_waves:
    description:
      - Seconds between the end of one wave and the start of the next.
    type: float
  interface:
    description:
      - Send the broadcasts only on these network interfaces of the site PC.
    type: list
    elements: str
  report_dir:
    description:
      - Folder on the site PC for the report, made when missing; the report is
        named C(YYYY-MM-DD_HH-MM-SS_IMAGE.csv) as the command line names it.
      - Without it, the report goes into C(reports/) in the image's folder.
    type: path
  fail_on_unclean:
    description:
      - Whether a terminal that is not clean (exit 1) fails the task. With
        C(false) the task is C(ok) and warns, naming those terminals.
    type: bool
    default: true
  cli:
    description:
      - Path of C(korven-cli) on the site PC. Default is the one on C(PATH).
    type: path
notes:
  - Supports check mode (C(--dry-run)). In check mode, C(changed) says whether
    some terminal would be streamed.
  - The report's keys are those of the command line's C(--json) report
    (C(report_version) 2).
seealso:
  - module: korven.loader.discover
  - module: korven.loader.mode
'''

EXAMPLES = r'''
- name: Update every terminal of the shop
  korven.loader.update:
    image: /home/korven/KORVEN/FW_WG.BIN
    all: true
    wait: 5
    report_dir: /home/korven/KORVEN/reports

- name: Two terminals, no GO BOOT, a slower pace
  korven.loader.update:
    image: /home/korven/KORVEN/FW_WG.BIN
    terminals: [10.0.0.7, 10.0.0.8]
    delay: 200
    go_boot: false

- name: A canary terminal, then waves of a tenth, stopping at the first failure
  korven.loader.update:
    image: /home/korven/KORVEN/FW_WG.BIN
    all: true
    waves: [1, 10%]
    max_failed: 0
  register: rollout

- name: Retry the terminals the last update left not clean, without failing the play
  korven.loader.update:
    image: /home/korven/KORVEN/FW_WG.BIN
    retry_report: "{{ rollout.report_path }}"
    fail_on_unclean: false
'''

RETURN = r'''
report:
  description:
    - The command line's JSON report as it printed it (C(report_version) 2),
      the run's facts and C(terminals), one object per terminal with
      C(terminal), C(address), C(connected), C(pieces_sent), C(pieces_total),
      C(reply), C(outcome), C(reply_before), C(clean), C(discovery_reply),
      C(wave) and more.
    - Empty when the update was refused before any report (exit 2 or 3).
  returned: always
  type: dict
  sample:
    report_version: 2
    image: FW_WG.BIN
    target: all
    version: 1.1W
    report_file: /home/korven/KORVEN/reports/2026-12-08_10-00-00_FW_WG.BIN.csv
    terminals:
      - terminal: 0
        address: 10.0.0.7
        connected: true
        outcome: streamed
        reply: NEW
        clean: true
report_path:
  description: The report's CSV on the site PC; null when none was written.
  returned: always
  type: str
  sample: /home/korven/KORVEN/reports/2026-12-08_10-00-00_FW_WG.BIN.csv
exit_code:
  description:
    - Exit status of korven-cli. 0 every terminal clean; 1 some terminal not
      clean or held back, or the report not written; 2 bad usage or refused;
      3 no terminal found.
  returned: always
  type: int
  sample: 0
counts:
  description:
    - Terminals of the report per outcome, and those not clean (an outcome other
      than C(streamed) or C(outside range), or a reply C(CHKERR) or C(FULL); in a
      dry run, C(planned) counts as clean).
  returned: always
  type: dict
  sample:
    streamed: 9
    cut: 0
    not_connected: 1
    outside_range: 0
    interrupted: 0
    planned: 0
    held_back: 0
    not_clean: 1
cmd:
  description: The command that ran.
  returned: always
  type: list
  elements: str
  sample: [/usr/bin/korven-cli, update, /home/korven/KORVEN/FW_WG.BIN, --all, --json]
stderr:
  description: The command line's progress lines and messages.
  returned: always
  type: str
'''

import datetime
import os

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.korven.loader.plugins.module_utils.korven_cli import (
    CLI_OPTION, INTERFACE_OPTION, cli_message, count_outcomes, interface_args,
    name_lines, parse_json, run_cli, seconds, unclean_lines)

TARGETS = ('all', 'terminal', 'terminals', 'retry_report')


def target_args(params):
    given = [name for name in TARGETS if params[name] not in (None, False, [])]
    if len(given) != 1:
        return None, 'exactly one of all, terminal, terminals, retry_report is required'
    if params['all']:
        args = ['--all']
        for name in ('from', 'to'):
            if params[name] is not None:
                args += ['--' + name, str(params[name])]
        return args, None
    if params['from'] is not None or params['to'] is not None:
        return None, 'from and to go with all'
    if params['terminal']:
        return ['--terminal', params['terminal']], None
    if params['terminals']:
        return ['--terminals', ','.join(params['terminals'])], None
    return ['--retry', params['retry_report']], None


def option_args(params, check_mode):
    args = []
    for name, flag in (('wait', '--wait'), ('verdict_wait', '--verdict-wait'),
                       ('pause_between_waves', '--pause-between-waves')):
        if params[name] is not None:
            args += [flag, seconds(params[name])]
    if params['delay'] is not None:
        args += ['--delay', str(params['delay'])]
    if params['go_boot'] is not None:
        args += ['--go-boot', 'on' if params['go_boot'] else 'off']
    if params['waves']:
        args += ['--waves', ','.join(params['waves'])]
    if params['max_failed'] is not None:
        args += ['--max-failed', params['max_failed']]
    args += interface_args(params['interface'])
    if check_mode:
        args.append('--dry-run')
    return args


def report_file(folder, image):
    """A fresh name in folder, as the command line names its reports."""
    stem = os.path.join(folder, datetime.datetime.now().strftime('%Y-%m-%d_%H-%M-%S_')
                        + os.path.basename(image))
    path, n = stem + '.csv', 2
    while os.path.exists(path):
        path, n = '%s_%d.csv' % (stem, n), n + 1
    return path


def main():
    module = AnsibleModule(
        argument_spec=dict(
            image=dict(type='path', required=True),
            all=dict(type='bool'),
            terminal=dict(type='str'),
            terminals=dict(type='list', elements='str'),
            retry_report=dict(type='path'),
            delay=dict(type='int'),
            go_boot=dict(type='bool'),
            wait=dict(type='float'),
            verdict_wait=dict(type='float'),
            waves=dict(type='list', elements='str'),
            max_failed=dict(type='str'),
            pause_between_waves=dict(type='float'),
            interface=INTERFACE_OPTION,
            report_dir=dict(type='path'),
            fail_on_unclean=dict(type='bool', default=True),
            cli=CLI_OPTION,
            **{'from': dict(type='int'), 'to': dict(type='int')}
        ),
        # No mutually_exclusive: it would refuse "all: false" beside "terminals",
        # as a playbook writes it; target_args takes false as absent.
        supports_check_mode=True,
    )
    params = module.params
    target, problem = target_args(params)
    if problem:
        module.fail_json(msg=problem)
    image = os.path.abspath(params['image'])
    args = ['update', image] + target + option_args(params, module.check_mode)
    report_path = None
    if params['report_dir']:
        # The dry run writes its report as well: it holds the plan.
        try:
            os.makedirs(params['report_dir'], exist_ok=True)
        except OSError as e:
            module.fail_json(msg='cannot make the report folder %s: %s' % (params['report_dir'], e))
        report_path = report_file(params['report_dir'], image)
        args += ['--report', report_path]
    args.append('--json')

    command, rc, out, err = run_cli(module, args, cwd=os.path.dirname(image))
    printed = parse_json(out) or {}
    report = printed if 'terminals' in printed else {}
    if report:
        report_path = report.get('report_file', report_path)
    elif report_path and not os.path.exists(report_path):
        report_path = None
    counts = count_outcomes(report)
    if module.check_mode:
        changed = counts['planned'] > 0
    else:
        changed = any((line.get('pieces_sent') or 0) > 0 for line in report.get('terminals', []))
    result = dict(changed=changed, report=report, report_path=report_path, exit_code=rc,
                  counts=counts, cmd=command, stderr=err)

    if rc == 0 and report:
        module.exit_json(msg='every terminal clean', **result)
    if rc == 1 and report:
        unclean = unclean_lines(report)
        what = '%d of %d terminals not clean: %s' % (
            len(unclean), len(report['terminals']), name_lines(unclean)) if unclean \
            else 'korven-cli could not write the report'
        if module.check_mode:
            module.warn('dry run: ' + what)
            module.exit_json(msg='dry run: ' + what, **result)
        if not params['fail_on_unclean']:
            module.warn(what)
            module.exit_json(msg=what, **result)
        module.fail_json(msg=what, **result)
    if rc in (0, 1):
        module.fail_json(msg='korven-cli printed no report (exit %d)' % rc, **result)
    module.fail_json(msg=cli_message(rc, out, err), **result)


if __name__ == '__main__':
    main()
