#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: discover
short_description: Find the KORVEN terminals on a site's network
version_added: 1.1.0
description:
  - Runs C(korven-cli discover --json) on the site PC; it broadcasts the
    discovery query and lists every terminal that answers within I(wait).
  - Fails when no terminal answered, with the command line's message; the
    empty list is returned all the same.
author:
  - KORVEN loader team (@korven)
requirements:
  - korven-cli 1.1W on the site PC (the korven-loader package)
options:
  wait:
    description: Seconds the terminals may take to answer.
    type: float
  interface:
    description: Send the query only on these network interfaces of the site PC.
    type: list
    elements: str
  cli:
    description: Path of C(korven-cli) on the site PC. Default is the one on C(PATH).
    type: path
notes:
  - Supports check mode; the query changes nothing on the terminals, so it is
    sent in check mode too.
seealso:
  - module: korven.loader.update
'''

EXAMPLES = r'''
- name: Which terminals answer in this shop
  korven.loader.discover:
    wait: 5
  register: found

- name: Show them
  ansible.builtin.debug:
    msg: "{{ found.terminals | map(attribute='address') | list }}"
'''

RETURN = r'''
terminals:
  description: Every terminal that answered, in the order of the answers.
  returned: always
  type: list
  elements: dict
  contains:
    terminal:
      description: Its number in the list of terminals found, from 0.
      type: int
    address:
      description: Its address.
      type: str
  sample: [{terminal: 0, address: 10.0.0.7}, {terminal: 1, address: 10.0.0.8}]
exit_code:
  description: Exit status of korven-cli (0 some answered, 3 none, 2 bad usage).
  returned: always
  type: int
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.korven.loader.plugins.module_utils.korven_cli import (
    CLI_OPTION, INTERFACE_OPTION, cli_message, interface_args, parse_json, run_cli, seconds)


def main():
    module = AnsibleModule(
        argument_spec=dict(wait=dict(type='float'), interface=INTERFACE_OPTION, cli=CLI_OPTION),
        supports_check_mode=True,
    )
    args = ['discover', '--json'] + interface_args(module.params['interface'])
    if module.params['wait'] is not None:
        args += ['--wait', seconds(module.params['wait'])]
    dummy, rc, out, err = run_cli(module, args)
    terminals = (parse_json(out) or {}).get('terminals') or []
    if rc == 0:
        module.exit_json(changed=False, terminals=terminals, exit_code=rc)
    module.fail_json(msg=cli_message(rc, out, err), terminals=terminals, exit_code=rc)


if __name__ == '__main__':
    main()
