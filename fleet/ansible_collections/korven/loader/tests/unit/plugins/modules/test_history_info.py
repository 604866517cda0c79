# -*- coding: utf-8 -*-
from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json

from ansible_collections.korven.loader.plugins.modules import history_info

ENTRY = dict(address='10.0.0.7', image='FW.BIN', image_sha256='ab12', outcome='cut', clean='no',
             last_clean=dict(image='OLD.BIN', image_sha256='cd34', started='2026-11-02 21:30:00'))


def test_the_shops_terminals_and_what_is_pending_read_in_check_mode_too(run, cli, tmp_path):
    history = str(tmp_path / 'KORVEN' / 'history.sqlite')
    cli.says(0, json.dumps(dict(history_version=1, history_file=history, terminals=[ENTRY])))
    read = run(history_info, dict(folder=str(tmp_path / 'KORVEN')), check_mode=True)
    # The folder is not there: korven-cli is told the file, not started in it.
    assert cli.argv() == ['history', '--json', '--history', history]
    assert not read.failed and not read.result['changed'] and read.result['msg'] == '1 terminal recorded'
    assert read.result['terminals'] == [ENTRY] and 'pending' not in read.result

    cli.says(0, json.dumps(dict(history_version=1, history_file='/h', terminals=[ENTRY, ENTRY], image='FW.BIN',
                                image_sha256=None, pending=['10.0.0.7'], current=['10.0.0.8'])))
    pending = run(history_info, dict(history='/h', image='/home/korven/FW.BIN', require_verdict=True))
    assert cli.argv() == ['history', '--json', '--history', '/h', '--pending', '--image', '/home/korven/FW.BIN',
                          '--require-verdict']
    assert (pending.result['pending'], pending.result['current']) == (['10.0.0.7'], ['10.0.0.8'])
    assert pending.result['msg'] == '2 terminals recorded; 1 pending, 1 current'
    run(history_info, dict(history='/h', sha256='ab12'))
    assert cli.argv()[4:] == ['--pending', '--sha256', 'ab12']


def test_a_file_that_is_no_history_fails_and_so_do_options_that_do_not_go_together(run, cli):
    cli.says(2, '', 'korven-cli: /h is no history file\n')
    failed = run(history_info, dict(history='/h'))
    assert failed.failed and failed.result['msg'] == 'korven-cli: /h is no history file'
    cli.says(0, 'not json')
    assert run(history_info, dict(history='/h')).result['msg'] == 'korven-cli printed no history (exit 0)'

    cli.argv_file.unlink()
    for args in (dict(), dict(folder='/k', history='/h'), dict(folder='/k', image='A.BIN', sha256='ab12'),
                 dict(folder='/k', require_verdict=True)):
        assert run(history_info, args).failed
    assert not cli.argv_file.exists()
