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
  - Runs C(korven-cli update IMAGE TARGET --report FILE --json --quiet) on the
    site PC and returns its report, one line per terminal, as data.
  - Exactly one target is required; nothing updates every terminal by default.
  - The task is C(ok) when every terminal of the update streamed and none replied
    C(CHKERR) or C(FULL) in this update (exit 0); its message counts the
    terminals per outcome, and those streamed with no verdict heard. When some
    terminal is not clean (exit 1), the task fails with a message naming those
    terminals, unless I(fail_on_unclean=false). A refused update (exit 2), no
    terminal found (exit 3), a run that ended early or a killed command line
    fails with the command line's own message.
  - The task is C(changed) whenever a byte reached a terminal, whatever the
    exit status; when the command line printed no report (it ended early or
    was killed), the report is read from the CSV it keeps on disk. A retry with
    nothing left to retry is C(ok) and not changed.
  - With I(skip_current), a terminal whose latest record in the site PC's
    history already says it took this image clean is not streamed (outcome
    C(already current)); when every terminal is current, nothing is streamed
    and the task is C(ok) and not changed, so a playbook run again converges.
  - In check mode the command line runs with C(--dry-run), which finds the
    terminals, connects and reads the image, and stops before the first frame
    or byte; a terminal not connected is a warning. Nothing is written on the
    site PC, and the message says what would happen, for example C(3 terminals
    would be streamed, 1 does not answer). An image not yet on the site PC (not
    copied in check mode) is planned all the same, its checks left to the run.
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
  image_sha256:
    description:
      - The image's SHA-256 in hex, as computed where the image came from. The
        command line refuses, before anything is sent, an image whose SHA-256
        differs (C(--sha256)), so a copy that is not whole reaches no terminal.
    type: str
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
  require_verdict:
    description:
      - Whether a terminal streamed with no verdict heard within I(verdict_wait)
        (C(clean) is C(unconfirmed)) counts as not clean (C(--require-verdict));
        it then fails the task, and a retry of the report takes it again.
    type: bool
    default: false
  skip_current:
    description:
      - Leave out each terminal whose latest record in the history is clean
        (C(yes), or C(unconfirmed) unless I(require_verdict)) with this image's
        SHA-256 (C(--skip-current)); its report line says C(already current)
        and counts as clean. A terminal last cut, interrupted, not clean or on
        another image is streamed.
      - The history is C(history.sqlite) in the image's folder, whatever
        I(report_dir) says; M(korven.loader.history_info) reads it.
    type: bool
    default: false
  history:
    description:
      - The history file to read and record into instead (C(--history)).
    type: path
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
  window:
    description:
      - A night window, C(START-END) in the site PC's local time (C(HH:MM) or
        C(HH:MM:SS); an END before START crosses midnight), C(--window).
      - Before START the command line finds the terminals, then waits for it;
        a wave (or the one batch) starts only if its whole timetable (boot
        step, blocks, tail, verdict wait, and the pause after it when another
        wave follows) ends before END. What does not fit is C(held back) with
        C(held_reason) C(window), and the task fails unless
        I(fail_on_unclean=false).
      - A task that waits for its window keeps its SSH connection open until
        the run ends; run it with C(async) and C(poll) for a long wait.
    type: str
  window_now_or_never:
    description:
      - Outside the window, end at once with every terminal C(held back)
        instead of waiting for the next one (C(--window-now-or-never)).
    type: bool
    default: false
  retries:
    description:
      - After each wave (or the batch), stream its terminals that were cut,
        not connected or said CHKERR again, up to this many times, each inside
        the window (C(--retries)). The report's C(attempts) counts them; a
        terminal clean at a later attempt is clean.
    type: int
  retry_pause:
    description:
      - Seconds before each retry (C(--retry-pause)); the command line's
        default is 30.
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
      - Without it, the report goes into C(reports/) in the image's folder, made
        when missing.
      - Not made in check mode, which writes no report.
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
    (C(report_version) 3).
seealso:
  - module: korven.loader.history_info
  - module: korven.loader.discover
  - module: korven.loader.mode
'''

EXAMPLES = r'''
- name: Update every terminal of the shop
  korven.loader.update:
    image: /home/korven/KORVEN/FW_WG.BIN
    image_sha256: 9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08
    all: true
    wait: 5
    report_dir: /home/korven/KORVEN/reports

- name: Only the terminals that do not run this image yet
  korven.loader.update:
    image: /home/korven/KORVEN/FW_WG.BIN
    all: true
    skip_current: true

- name: A night run, in waves, inside 22:00-05:00, each failed terminal tried twice more
  korven.loader.update:
    image: /home/korven/KORVEN/FW_WG.BIN
    all: true
    skip_current: true
    waves: ['25%']
    window: '22:00-05:00'
    retries: 2
    retry_pause: 60
  async: 36000
  poll: 60

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
    - The command line's JSON report as it printed it (C(report_version) 3),
      the run's facts and C(terminals), one object per terminal with
      C(terminal), C(address), C(connected), C(pieces_sent), C(pieces_total),
      C(reply), C(outcome), C(reply_before), C(clean) (C(yes), C(no) or
      C(unconfirmed)), C(discovery_reply), C(wave) and more.
    - When the command line printed none (it ended early or was killed), the
      report read back from its CSV, the run's facts as the CSV writes them.
    - Empty when there is no report at all (the update was refused before it
      began).
  returned: always
  type: dict
  sample:
    report_version: 3
    image: FW_WG.BIN
    image_sha256: 9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08
    target: all
    version: 1.1W
    report_file: /home/korven/KORVEN/reports/2026-12-08_10-00-00_FW_WG.BIN.csv
    terminals:
      - terminal: 0
        address: 10.0.0.7
        connected: true
        outcome: streamed
        reply: NEW
        clean: 'yes'
report_path:
  description: The report's CSV on the site PC; null when none was written (always in check mode).
  returned: always
  type: str
  sample: /home/korven/KORVEN/reports/2026-12-08_10-00-00_FW_WG.BIN.csv
exit_code:
  description:
    - Exit status of korven-cli. 0 every terminal clean; 1 some terminal not
      clean or held back, or the run ended past its timetable; 2 bad usage or
      refused (the report could not be made, the image's SHA-256 differs, a
      later wave was refused); 3 no terminal found; negative when killed by
      a signal.
  returned: always
  type: int
  sample: 0
counts:
  description:
    - Terminals of the report per outcome; those streamed with no verdict
      heard (C(unconfirmed)); and those not clean (an outcome other than
      C(streamed), C(already current) or C(outside range), a reply C(CHKERR) or C(FULL), or with
      I(require_verdict) no verdict heard; in a dry run, C(planned) counts as
      clean).
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
    already_current: 0
    unconfirmed: 0
    not_clean: 1
cmd:
  description: The command that ran.
  returned: always
  type: list
  elements: str
  sample: [/usr/bin/korven-cli, update, /home/korven/KORVEN/FW_WG.BIN, --all, --report,
           /home/korven/KORVEN/reports/2026-12-08_10-00-00_FW_WG.BIN.csv, --json, --quiet]
stderr:
  description: The command line's messages and its closing tally.
  returned: always
  type: str
'''

import os
from ansible.module_utils.basic import AnsibleModule
from ansible_collections.korven.loader.plugins.module_utils.korven_cli import CLI_OPTION, INTERFACE_OPTION, run_cli
from ansible_collections.korven.loader.plugins.module_utils.report import bytes_reached_terminals, count_outcomes, read_report
from ansible_collections.korven.loader.plugins.module_utils.update_result import exit_dry_run, exit_run
from ansible_collections.korven.loader.plugins.module_utils.update_command import existing_folder, new_report, option_args, target_args


def main():
    module = AnsibleModule(
        argument_spec=dict(
            image=dict(type='path', required=True),
            image_sha256=dict(type='str'),
            all=dict(type='bool'),
            terminal=dict(type='str'),
            terminals=dict(type='list', elements='str'),
            retry_report=dict(type='path'),
            delay=dict(type='int'),
            go_boot=dict(type='bool'),
            wait=dict(type='float'),
            verdict_wait=dict(type='float'),
            require_verdict=dict(type='bool', default=False),
            skip_current=dict(type='bool', default=False),
            window=dict(type='str'),
            window_now_or_never=dict(type='bool', default=False),
            retries=dict(type='int'),
            retry_pause=dict(type='float'),
            history=dict(type='path'),
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
    args = ['update', image] + target + option_args(params, module.check_mode, os.path.isfile(image))
    # Outside check mode korven-cli is always told its report's path, so the
    # report can be read from disk when it prints none. A dry run writes none.
    report_path = None if module.check_mode else new_report(module, image)
    if report_path:
        args += ['--report', report_path]
    args += ['--json', '--quiet']

    command, rc, out, err = run_cli(module, args, cwd=existing_folder(os.path.dirname(image)))
    report, printed = read_report(out, report_path)
    if report_path and not os.path.isfile(report_path):
        report_path = None  # refused before the report was made
    report_path = report.get('report_file') or report_path
    counts = count_outcomes(report)
    changed = counts['planned'] > 0 if module.check_mode else bytes_reached_terminals(report)
    result = dict(changed=changed, report=report, report_path=report_path, exit_code=rc,
                  counts=counts, cmd=command, stderr=err)
    if module.check_mode:
        exit_dry_run(module, image, rc, out, err, result)
    exit_run(module, rc, out, err, printed, result)


if __name__ == '__main__':
    main()
