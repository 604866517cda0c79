#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: mode
short_description: Switch the mode of KORVEN terminals
version_added: 1.1.0
description:
  - Runs C(korven-cli mode COMMAND) on the site PC; the mode frame goes out ten
    times, as the window's buttons send it, to one terminal or by broadcast to
    every terminal of the site.
  - The frames are one-way; the task says they were sent, not that a terminal
    obeyed.
author:
  - KORVEN loader team (@korven)
requirements:
  - korven-cli 1.1W on the site PC (the korven-loader package)
options:
  command:
    description:
      - The frame to send. C(go-boot) and C(go-term) start and leave the boot
        loader, C(active) and C(passive) set the terminal's mode, C(show-mac)
        makes it show its hardware address.
    type: str
    required: true
    choices: [go-boot, go-term, active, passive, show-mac]
  terminal:
    description: The one terminal (IPv4 address) to send to.
    type: str
  all:
    description: Send by broadcast to every terminal of the site.
    type: bool
  interface:
    description: Send the broadcast only on these network interfaces of the site PC.
    type: list
    elements: str
  cli:
    description: Path of C(korven-cli) on the site PC. Default is the one on C(PATH).
    type: path
notes:
  - Supports check mode; nothing is sent then, and C(changed) is true.
  - Exactly one of I(terminal) and I(all=true) is required.
seealso:
  - module: korven.loader.update
'''

EXAMPLES = r'''
- name: Put every terminal of the shop in passive mode before an update
  korven.loader.mode:
    command: passive
    all: true

- name: Make one terminal show its hardware address
  korven.loader.mode:
    command: show-mac
    terminal: 10.0.0.7
'''

RETURN = r'''
exit_code:
  description: Exit status of korven-cli (0 every frame sent, 1 a frame not sent, 2 bad usage).
  returned: when korven-cli ran
  type: int
  sample: 0
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.korven.loader.plugins.module_utils.korven_cli import (
    CLI_OPTION, INTERFACE_OPTION, cli_message, find_cli, interface_args, run_cli)


def main():
    module = AnsibleModule(
        argument_spec=dict(
            command=dict(type='str', required=True,
                         choices=['go-boot', 'go-term', 'active', 'passive', 'show-mac']),
            terminal=dict(type='str'),
            all=dict(type='bool'),
            interface=INTERFACE_OPTION,
            cli=CLI_OPTION,
        ),
        supports_check_mode=True,
    )
    params = module.params
    if bool(params['terminal']) == bool(params['all']):
        module.fail_json(msg='exactly one of terminal, all=true is required')
    target = ['--terminal', params['terminal']] if params['terminal'] else ['--all']
    if module.check_mode:
        find_cli(module)
        module.exit_json(changed=True, msg='would send %s' % params['command'])
    dummy, rc, out, err = run_cli(module, ['mode', params['command']] + target
                                  + interface_args(params['interface']))
    if rc == 0:
        module.exit_json(changed=True, exit_code=rc)
    module.fail_json(msg=cli_message(rc, out, err), exit_code=rc)


if __name__ == '__main__':
    main()
