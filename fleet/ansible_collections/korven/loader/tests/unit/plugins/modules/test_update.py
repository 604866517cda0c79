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
    return json.dumps(dict(dict(report_version=3, report_file='/site/r.csv', terminals=terminals), **facts))


GOOD = ('10.0.0.7', 'streamed', 'NEW', 'yes')
SILENT = ('10.0.0.6', 'streamed', '', 'unconfirmed')


def test_exit_status_decides_ok_or_failed_and_the_message_says_what_happened(run, cli, tmp_path):
    image = str(tmp_path / 'FW.BIN')
    cli.says(0, report(GOOD, SILENT, ('10.0.0.9', 'outside range', '', 'yes')))
    ok = run(update, dict(image=image, all=True))
    assert not ok.failed and ok.result['changed'] and ok.result['report_path'] == '/site/r.csv'
    assert ok.result['msg'] == ('3 terminals: 1 streamed clean, 1 streamed with no verdict heard, '
                                '1 outside the range')
    assert (ok.result['counts']['unconfirmed'], ok.result['counts']['not_clean']) == (1, 0)
    cli.says(0, report(('10.0.0.9', 'outside range', '', 'yes')))
    assert not run(update, dict(image=image, all=True)).result['changed']

    unclean = report(GOOD, ('10.0.0.8', 'not connected', '', 'no'), ('10.0.0.9', 'streamed', 'CHKERR', 'no'),
                     ('10.0.0.10', 'held back', '', 'no'), SILENT, require_verdict=True)
    cli.says(1, unclean)
    failed = run(update, dict(image=image, all=True, require_verdict=True))
    assert failed.failed and failed.result['exit_code'] == 1
    assert failed.result['msg'] == ('4 of 5 terminals not clean: 10.0.0.8 (not connected), '
                                    '10.0.0.9 (streamed, reply CHKERR), 10.0.0.10 (held back), '
                                    '10.0.0.6 (streamed, no verdict heard)')
    assert failed.result['counts'] == dict(streamed=3, cut=0, not_connected=1, outside_range=0, interrupted=0,
                                           planned=0, held_back=1, already_current=0, unconfirmed=1, not_clean=4)
    tolerated = run(update, dict(image=image, all=True, fail_on_unclean=False))
    assert not tolerated.failed and tolerated.result['warnings'] == [failed.result['msg']]

    night = json.loads(report(GOOD, ('10.0.0.8', 'held back', '', 'no'), ('10.0.0.9', 'cut', '', 'no')))
    night['terminals'][1]['held_reason'] = 'window'
    night['terminals'][2]['attempts'] = 3
    cli.says(1, json.dumps(night))
    assert run(update, dict(image=image, all=True)).result['msg'] == (
        '2 of 3 terminals not clean: 10.0.0.8 (held back by the window), 10.0.0.9 (cut at each of 3 attempts)')

    cli.says(2, '{"error": "ERROR: Cannot read the image file !", "exit": 2}', 'korven-cli: ERROR: Cannot read')
    refused = run(update, dict(image=image, all=True))
    assert refused.failed and refused.result['msg'] == 'ERROR: Cannot read the image file !'
    assert refused.result['report'] == {} and refused.result['report_path'] is None

    cli.says(3, '', 'korven-cli: no terminal answered within 3 s\n0 terminals; report: r.csv\n')
    assert run(update, dict(image=image, all=True)).result['msg'] == 'korven-cli: no terminal answered within 3 s'


CSV = ('terminal,address,in_range,connected,pieces_sent,pieces_total,outcome,clean,image,image_sha256\n'
       "0,10.0.0.7,yes,yes,11,11,streamed,yes,FW.BIN,ab12\n"
       "1,'=1+1,yes,yes,%s,11,interrupted,no,FW.BIN,ab12\n")


def test_changed_comes_from_the_report_on_disk_when_korven_cli_printed_none(run, cli, tmp_path):
    image = str(tmp_path / 'FW.BIN')
    # Past its timetable, at a later wave: only the error on stdout.
    cli.says(1, '{"error": "korven-cli: past the timetable", "exit": 1}', csv=CSV % 4)
    late = run(update, dict(image=image, all=True))
    path = late.result['report_path']
    assert path.startswith(str(tmp_path / 'reports') + '/') and cli.argv()[cli.argv().index('--report') + 1] == path
    assert late.failed and late.result['changed'] and late.result['msg'] == (
        'korven-cli: past the timetable; the report says 2 terminals: 1 streamed clean, 1 interrupted')
    assert late.result['report']['image_sha256'] == 'ab12'
    assert late.result['report']['terminals'][1]['address'] == '=1+1'

    cli.says(None, csv=(CSV % 0).replace('11,11,streamed', '0,11,interrupted'))
    killed = run(update, dict(image=image, all=True))
    assert killed.failed and not killed.result['changed']
    assert killed.result['msg'].startswith('korven-cli was killed by signal 9; the report says 2 terminals')


def test_a_retry_with_nothing_left_is_ok_and_unchanged(run, cli, tmp_path):
    cli.says(0, report(report_file=None), 'korven-cli: nothing to retry in /site/r.csv\n')
    nothing = run(update, dict(image=str(tmp_path / 'FW.BIN'), retry_report='/site/r.csv'))
    assert not nothing.failed and not nothing.result['changed']
    assert nothing.result['msg'] == 'nothing to retry in /site/r.csv'


def test_terminals_already_current_are_clean_and_unchanged(run, cli, tmp_path):
    current = ('10.0.0.8', 'already current', '', 'yes')
    cli.says(0, report(current, current))
    again = run(update, dict(image=str(tmp_path / 'FW.BIN'), all=True, skip_current=True))
    assert '--skip-current' in cli.argv()
    assert not again.failed and not again.result['changed'] and again.result['msg'] == '2 terminals: 2 already current'
    assert (again.result['counts']['already_current'], again.result['counts']['not_clean']) == (2, 0)
    cli.says(0, report(current, ('10.0.0.7', 'planned', '', 'no'), report_file=None))
    dry = run(update, dict(image=str(tmp_path / 'FW.BIN'), all=True, skip_current=True), check_mode=True)
    assert dry.result['changed'] and dry.result['msg'].startswith('dry run: 1 terminal would be streamed, 1 already current;')


def test_check_mode_writes_nothing_and_says_what_would_happen(run, cli, tmp_path):
    # The image not copied yet: not even its folder is there.
    image, report_dir = tmp_path / 'shop' / 'KORVEN' / 'FW.BIN', tmp_path / 'shop' / 'KORVEN' / 'reports'
    cli.says(1, report(('10.0.0.7', 'planned', '', 'no'), ('10.0.0.5', 'planned', '', 'no'),
                       ('10.0.0.8', 'not connected', '', 'no'), report_file=None))
    dry = run(update, dict(image=str(image), all=True, image_sha256='ab12', report_dir=str(report_dir)),
              check_mode=True)
    assert cli.argv() == ['update', str(image), '--all', '--dry-run', '--json', '--quiet']
    assert not (tmp_path / 'shop').exists()
    assert not dry.failed and dry.result['changed'] and dry.result['report_path'] is None
    assert dry.result['msg'] == 'dry run: 2 terminals would be streamed, 1 does not answer; %s is not on this host yet' % image
    assert dry.result['warnings'] == ['dry run: terminal would not be streamed: 10.0.0.8 (not connected)']

    cli.says(0, report(('10.0.0.7', 'outside range', '', 'yes'), report_file=None))
    image = tmp_path / 'FW.BIN'
    image.write_bytes(b'\0FW')
    idle = run(update, dict(image=str(image), all=True, image_sha256='ab12'), check_mode=True)
    assert '--sha256' in cli.argv() and not (tmp_path / 'reports').exists()
    assert not idle.result['changed'] and idle.result['msg'] == 'dry run: 0 terminals would be streamed, 1 outside the range'


def test_options_become_the_command_line(run, cli, tmp_path):
    image = str(tmp_path / 'FW.BIN')
    cli.says(0, report(GOOD))
    run(update, {'image': image, 'all': True, 'from': 2, 'to': 5, 'wait': 5.0, 'verdict_wait': 0.5, 'delay': 200,
                 'go_boot': False, 'waves': ['1', '10%'], 'max_failed': '5%', 'interface': ['eth1', 'eth2'],
                 'require_verdict': True, 'skip_current': True, 'history': '/h.sqlite', 'image_sha256': 'ab12',
                 'window': '22:00-05:00', 'window_now_or_never': True, 'retries': 2, 'retry_pause': 60.0,
                 'report_dir': str(tmp_path / 'r')})
    argv = cli.argv()
    assert argv[:-3] == ['update', image, '--all', '--from', '2', '--to', '5', '--wait', '5', '--verdict-wait', '0.5',
                         '--retry-pause', '60', '--delay', '200', '--go-boot', 'off', '--waves', '1,10%',
                         '--max-failed', '5%', '--require-verdict', '--skip-current', '--history', '/h.sqlite',
                         '--window', '22:00-05:00', '--window-now-or-never', '--retries', '2', '--sha256', 'ab12',
                         '--interface', 'eth1,eth2', '--report']
    assert argv[-3].startswith(str(tmp_path / 'r') + '/') and argv[-3].endswith('_FW.BIN.csv')
    assert argv[-2:] == ['--json', '--quiet']
    # "all: false" beside the target, as a playbook writes it, is no second target.
    run(update, dict(image=image, all=False, terminals=['10.0.0.7', '10.0.0.8']))
    assert cli.argv()[2:4] == ['--terminals', '10.0.0.7,10.0.0.8']


def test_a_target_is_required_and_only_one(run, cli, tmp_path):
    image = str(tmp_path / 'FW.BIN')
    for args in (dict(), dict(all=False), {'terminal': '10.0.0.7', 'from': 1},
                 dict(all=True, retry_report='/site/r.csv')):
        assert run(update, dict(args, image=image)).failed
    # Nothing ran: the fake's argv file was never written.
    assert not cli.argv_file.exists()
