# -*- coding: utf-8 -*-
from __future__ import absolute_import, division, print_function
__metaclass__ = type

from ansible_collections.korven.loader.plugins.modules import discover, mode


def test_discover_returns_the_terminals_and_fails_when_none_answered(run, cli):
    cli.says(0, '{"terminals":[{"terminal":0,"address":"10.0.0.7"},{"terminal":1,"address":"10.0.0.8"}]}')
    found = run(discover, dict(wait=1.5, interface=['eth1']))
    assert cli.argv() == ['discover', '--json', '--interface', 'eth1', '--wait', '1.5']
    assert not found.failed and not found.result['changed']
    assert [t['address'] for t in found.result['terminals']] == ['10.0.0.7', '10.0.0.8']

    cli.says(3, '{"terminals":[]}', 'korven-cli: no terminal answered\n')
    none = run(discover, dict())
    assert none.failed and none.result['msg'] == 'korven-cli: no terminal answered'


def test_mode_sends_only_outside_check_mode_and_fails_on_a_frame_not_sent(run, cli):
    assert run(mode, dict(command='go-boot', all=True), check_mode=True).result['changed']
    assert not cli.argv_file.exists()

    cli.says(0)
    assert not run(mode, dict(command='passive', terminal='10.0.0.7')).failed
    assert cli.argv() == ['mode', 'passive', '--terminal', '10.0.0.7']

    cli.says(1, '', 'korven-cli: SEND ERROR\n')
    assert run(mode, dict(command='go-term', all=True)).result['msg'] == 'korven-cli: SEND ERROR'
    assert run(mode, dict(command='active')).failed
    assert run(mode, dict(command='active', all=True, terminal='10.0.0.7')).failed
