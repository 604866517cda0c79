#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: history_info
short_description: What each KORVEN terminal of a site last took, from the site PC's history
version_added: 1.1.0
description:
  - Runs C(korven-cli history --json) on the site PC and returns every
    terminal the site's history ever recorded, each with its latest record
    and the image it last took clean.
  - With I(image) or I(sha256), also the terminals that do not run that image
    yet (C(pending)) and those that do (C(current)), as C(--skip-current)
    tells them apart.
  - The history is C(history.sqlite) in the working folder of the runs that
    recorded it; for M(korven.loader.update) that is the image's folder,
    whatever its I(report_dir) says.
  - Only reads, and never makes the history file; a site with no history yet
    has no terminal. The task is never C(changed).
author:
  - KORVEN loader team (@korven)
requirements:
  - korven-cli 1.1W on the site PC (the korven-loader package)
options:
  folder:
    description:
      - The working folder whose C(history.sqlite) is read. One of I(folder)
        and I(history) is required.
    type: path
  history:
    description:
      - The history file itself, where the updates were told to keep it
        elsewhere (C(--history)).
    type: path
  image:
    description:
      - The image file on the site PC; korven-cli reads its SHA-256, which the
        records are matched by. A relative path is taken from the home folder
        of the login. An image not on the site PC is matched by the SHA-256 its
        newest run there had, found by the file's name.
    type: path
  sha256:
    description:
      - The image's SHA-256 in hex, for an image that is not on the site PC.
    type: str
  require_verdict:
    description:
      - With I(image) or I(sha256), whether a terminal streamed with no
        verdict heard (C(clean) C(unconfirmed)) is still pending.
    type: bool
    default: false
  cli:
    description: Path of C(korven-cli) on the site PC. Default is the one on C(PATH).
    type: path
notes:
  - Supports check mode; it only reads, so it runs in check mode as it does outside it.
seealso:
  - module: korven.loader.update
'''

EXAMPLES = r'''
- name: What each terminal of the shop runs
  korven.loader.history_info:
    folder: /home/korven/KORVEN
  register: shop_history

- name: The terminals still without tonight's image
  korven.loader.history_info:
    folder: /home/korven/KORVEN
    sha256: 9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08
  register: tonight

- name: Say which
  ansible.builtin.debug:
    msg: "{{ tonight.pending | length }} still to update: {{ tonight.pending | join(', ') }}"
'''

RETURN = r'''
history_file:
  description: The history file that was read (it need not exist).
  returned: always
  type: str
  sample: /home/korven/KORVEN/history.sqlite
terminals:
  description:
    - One entry per terminal ever recorded, in address order, with its latest
      record (a dry run is none) and C(last_clean), the latest record in which
      it took an image clean (C(null) when it never did).
  returned: always
  type: list
  elements: dict
  sample:
    - address: 10.0.0.7
      image: FW_WG.BIN
      image_sha256: 9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08
      outcome: cut
      clean: 'no'
      reply: ''
      pieces_sent: 4
      pieces_total: 11
      wave: null
      started: '2026-12-08 22:00:01'
      ended: '2026-12-08 22:00:14'
      report_file: /home/korven/KORVEN/reports/2026-12-08_22-00-01_FW_WG.BIN.csv
      exit_code: 1
      last_clean:
        image: FW_WG.BIN
        image_sha256: 5f1c0e3a9b2d7c4e8f6a1b3c5d7e9f0a2b4c6d8e0f1a3b5c7d9e1f2a4b6c8d0e
        started: '2026-11-02 21:30:00'
        report_file: /home/korven/KORVEN/reports/2026-11-02_21-30-00_FW_WG.BIN.csv
pending:
  description:
    - With I(image) or I(sha256), the addresses whose latest record is not a
      current one of that image (clean, with its SHA-256).
  returned: when image or sha256 is given
  type: list
  elements: str
  sample: [10.0.0.7]
current:
  description: With I(image) or I(sha256), the addresses whose latest record is a current one of that image.
  returned: when image or sha256 is given
  type: list
  elements: str
  sample: [10.0.0.8, 10.0.0.9]
exit_code:
  description: Exit status of korven-cli (0 read; 2 bad usage, or a file that is no history).
  returned: always
  type: int
'''

import os

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.korven.loader.plugins.module_utils.korven_cli import (
    CLI_OPTION, cli_message, parse_json, run_cli)

# Where korven-cli keeps the history in its working folder.
HISTORY_FILE = 'history.sqlite'


def main():
    module = AnsibleModule(
        argument_spec=dict(
            folder=dict(type='path'),
            history=dict(type='path'),
            image=dict(type='path'),
            sha256=dict(type='str'),
            require_verdict=dict(type='bool', default=False),
            cli=CLI_OPTION,
        ),
        required_one_of=[('folder', 'history')],
        mutually_exclusive=[('folder', 'history'), ('image', 'sha256')],
        supports_check_mode=True,
    )
    params = module.params
    # The file named rather than korven-cli started in the folder: a site
    # whose folder is not made yet (a first rollout in check mode) has no
    # history, which korven-cli says of a missing file.
    history = params['history'] or os.path.join(params['folder'], HISTORY_FILE)
    args = ['history', '--json', '--history', history]
    if params['image']:
        args += ['--pending', '--image', os.path.abspath(params['image'])]
    elif params['sha256']:
        args += ['--pending', '--sha256', params['sha256']]
    elif params['require_verdict']:
        module.fail_json(msg='require_verdict goes with image or sha256')
    if params['require_verdict']:
        args.append('--require-verdict')

    command, rc, out, err = run_cli(module, args)
    printed = parse_json(out)
    if rc != 0 or not printed or 'terminals' not in printed:
        reason = cli_message(rc, out, err) if rc != 0 else 'korven-cli printed no history (exit 0)'
        module.fail_json(msg=reason, cmd=command, exit_code=rc, stderr=err)
    result = dict(changed=False, history_file=printed.get('history_file') or history,
                  terminals=printed['terminals'], exit_code=rc)
    msg = '%d terminal%s recorded' % (len(result['terminals']), '' if len(result['terminals']) == 1 else 's')
    if '--pending' in args:
        result.update(pending=printed.get('pending') or [], current=printed.get('current') or [])
        msg += '; %d pending, %d current' % (len(result['pending']), len(result['current']))
    module.exit_json(msg=msg, **result)


if __name__ == '__main__':
    main()
