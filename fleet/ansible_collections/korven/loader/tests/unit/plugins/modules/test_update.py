# -*- coding: utf-8 -*-
from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json

from ansible_collections.korven.loader.plugins.modules import update


def report(*lines, **facts):
    """A report as korven-cli prints it; a line is (address, outcome, reply, clean)."""
    terminals = [dict(terminal=n, address=a, outcome=o, reply=r, clean=c,
                      pieces_sent=11 if o in ('streamed', 'cut') else 0)
                 for n, (a, o, r, c) in enumerate(lines)]
    return json.dumps(dict(dict(report_version=2, report_file='/site/r.csv', terminals=terminals), **facts))


GOOD = ('10.0.0.7', 'streamed', 'NEW', True)


def test_exit_status_decides_ok_or_failed_and_the_message_names_unclean_terminals(run, cli, tmp_path):
    image = str(tmp_path / 'FW.BIN')
    cli.says(0, report(GOOD, ('10.0.0.9', 'outside range', '', True)))
    ok = run(update, dict(image=image, all=True))
    assert not ok.failed and ok.result['changed'] and ok.result['report_path'] == '/site/r.csv'
    cli.says(0, report(('10.0.0.9', 'outside range', '', True)))
    assert not run(update, dict(image=image, all=True)).result['changed']

    unclean = report(GOOD, ('10.0.0.8', 'not connected', '', False), ('10.0.0.9', 'streamed', 'CHKERR', False),
                     ('10.0.0.10', 'held back', '', False))
    cli.says(1, unclean)
    failed = run(update, dict(image=image, all=True))
    assert failed.failed and failed.result['exit_code'] == 1
    assert failed.result['msg'] == ('3 of 4 terminals not clean: 10.0.0.8 (not connected), '
                                    '10.0.0.9 (streamed, reply CHKERR), 10.0.0.10 (held back)')
    assert failed.result['counts'] == dict(streamed=2, cut=0, not_connected=1, outside_range=0, interrupted=0,
                                           planned=0, held_back=1, not_clean=3)
    tolerated = run(update, dict(image=image, all=True, fail_on_unclean=False))
    assert not tolerated.failed and tolerated.result['warnings'] == [failed.result['msg']]

    cli.says(2, '{"error": "ERROR: Cannot read the image file !", "exit": 2}', 'korven-cli: ERROR: Cannot read')
    refused = run(update, dict(image=image, all=True))
    assert refused.failed and refused.result['msg'] == 'ERROR: Cannot read the image file !'
    assert refused.result['report'] == {} and refused.result['report_path'] is None

    cli.says(3, '', 'korven-cli: searching\nkorven-cli: no terminal answered within 3 s\n')
    assert run(update, dict(image=image, all=True)).result['msg'] == 'korven-cli: no terminal answered within 3 s'

    # A crash after some streams: nothing printed, not taken for success.
    cli.says(0, '', 'Segmentation fault')
    assert run(update, dict(image=image, all=True)).failed


def test_check_mode_is_a_dry_run_and_an_unconnected_terminal_only_warns(run, cli, tmp_path):
    cli.says(1, report(('10.0.0.7', 'planned', '', False), ('10.0.0.8', 'not connected', '', False)))
    dry = run(update, dict(image=str(tmp_path / 'FW.BIN'), terminals=['10.0.0.7', '10.0.0.8']), check_mode=True)
    assert '--dry-run' in cli.argv()
    assert not dry.failed and dry.result['changed']
    assert dry.result['warnings'] == ['dry run: 1 of 2 terminals not clean: 10.0.0.8 (not connected)']


def test_options_become_the_command_line(run, cli, tmp_path):
    image = str(tmp_path / 'FW.BIN')
    cli.says(0, report(GOOD))
    run(update, {'image': image, 'all': True, 'from': 2, 'to': 5, 'wait': 5.0, 'verdict_wait': 0.5, 'delay': 200,
                 'go_boot': False, 'waves': ['1', '10%'], 'max_failed': '5%', 'interface': ['eth1', 'eth2']})
    assert cli.argv() == ['update', image, '--all', '--from', '2', '--to', '5', '--wait', '5', '--verdict-wait', '0.5',
                          '--delay', '200', '--go-boot', 'off', '--waves', '1,10%', '--max-failed', '5%',
                          '--interface', 'eth1,eth2', '--json']
    # "all: false" beside the target, as a playbook writes it, is no second target.
    run(update, dict(image=image, all=False, terminals=['10.0.0.7', '10.0.0.8'], report_dir=str(tmp_path / 'r')))
    argv = cli.argv()
    assert argv[2:4] == ['--terminals', '10.0.0.7,10.0.0.8'] and argv[4] == '--report'
    assert argv[5].startswith(str(tmp_path / 'r') + '/') and argv[5].endswith('_FW.BIN.csv')


def test_a_target_is_required_and_only_one(run, cli, tmp_path):
    image = str(tmp_path / 'FW.BIN')
    for args in (dict(), dict(all=False), {'terminal': '10.0.0.7', 'from': 1},
                 dict(all=True, retry_report='/site/r.csv')):
        assert run(update, dict(args, image=image)).failed
    # Nothing ran: the fake's argv file was never written.
    assert not cli.argv_file.exists()
