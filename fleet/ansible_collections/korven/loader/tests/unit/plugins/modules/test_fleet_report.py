# -*- coding: utf-8 -*-
from __future__ import absolute_import, division, print_function
__metaclass__ = type

import csv

from ansible_collections.korven.loader.plugins.modules import fleet_report

HEADER = 'terminal,address,outcome,reply,image,started,clean,discovery_reply\n'


def test_every_line_of_every_shop_then_a_summary_line_per_shop(run, tmp_path):
    north, south, east = tmp_path / 'north.csv', tmp_path / 'south.csv', tmp_path / 'FW.BIN'
    east.write_bytes(b'\x00\x00FW')  # an image fetched by mistake
    north.write_text(HEADER + '0,10.0.0.7,streamed,NEW,FW.BIN,2026-12-08 22:00:01,yes,"KORVEN,10.0.0.7,IPT-2"\n'
                     '1,10.0.0.8,not connected,,FW.BIN,2026-12-08 22:00:01,no,"KORVEN,10.0.0.8,IPT-2"\n'
                     '2,10.0.0.9,streamed,,FW.BIN,2026-12-08 22:00:01,unconfirmed,"KORVEN,10.0.0.9,IPT-2"\n'
                     '3,10.0.0.10,already current,,FW.BIN,2026-12-08 22:00:01,yes,"KORVEN,10.0.0.10,IPT-2"\n')
    # 10.0.0.8 last took an older image clean, 10.0.0.9 never took one; the
    # history knows 10.0.0.99, which this report has no line for.
    clean = dict(image='FW.BIN', image_sha256='ab12')
    history = [dict(address='10.0.0.7', last_clean=clean), dict(address='10.0.0.10', last_clean=clean),
               dict(address='10.0.0.8', last_clean=dict(image='OLD.BIN', image_sha256='cd34')),
               dict(address='10.0.0.9', last_clean=None), dict(address='10.0.0.99', last_clean=clean)]
    # An older command line's report: its facts apart, no clean column.
    south.write_text('image,FW.BIN\nstarted,2026-12-08 22:00:09\n\n'
                     'terminal,address,outcome,reply\n0,10.1.0.7,streamed,NEW\n1,10.1.0.8,streamed,CHKERR\n')
    dest = tmp_path / 'out' / 'fleet-report.csv'
    shops = [dict(shop='north', report=str(north), history=history), dict(shop='south', report=str(south)),
             dict(shop='=east', report=str(east)), dict(shop='west', ran=False)]
    ended = run(fleet_report, dict(dest=str(dest), shops=shops))
    assert not ended.failed and ended.result['changed']
    with open(str(dest), newline='') as f:
        rows = list(csv.DictReader(f))
    assert [(r['shop'], r['line'], r['address'], r['shop_result']) for r in rows] == [
        ('north', 'terminal', '10.0.0.7', ''), ('north', 'terminal', '10.0.0.8', ''), ('north', 'terminal', '10.0.0.9', ''),
        ('north', 'terminal', '10.0.0.10', ''), ('north', 'summary', '', 'not clean'),
        ('south', 'terminal', '10.1.0.7', ''), ('south', 'terminal', '10.1.0.8', ''), ('south', 'summary', '', 'not clean'),
        ("'=east", 'summary', '', 'no report'), ('west', 'summary', '', 'not run')]
    assert rows[1]['discovery_reply'] == 'KORVEN,10.0.0.8,IPT-2' and rows[4]['discovery_reply'] == ''
    assert [(r['last_clean_image'], r['last_clean_image_sha256']) for r in rows[:6]] == [
        ('FW.BIN', 'ab12'), ('OLD.BIN', 'cd34'), ('', ''), ('FW.BIN', 'ab12'), ('', ''), ('', '')]
    north_summary = rows[4]
    assert (north_summary['image'], north_summary['started'], north_summary['clean']) == ('FW.BIN', '2026-12-08 22:00:01', 'no')
    assert (north_summary['shop_terminals'], north_summary['shop_streamed'], north_summary['shop_not_connected'],
            north_summary['shop_not_clean'], north_summary['shop_unconfirmed'],
            north_summary['shop_already_current']) == ('4', '2', '1', '1', '1', '1')
    assert (rows[7]['started'], rows[7]['shop_not_clean']) == ('2026-12-08 22:00:09', '1')
    assert rows[8]['shop_message'] == 'cannot read the report: %s is not an update report' % east


def test_changed_only_when_the_content_changes_and_nothing_written_in_check_mode(run, tmp_path):
    report, dest = tmp_path / 'north.csv', tmp_path / 'fleet-report.csv'
    report.write_text(HEADER + '0,10.0.0.7,streamed,NEW,FW.BIN,2026-12-08 22:00:01,yes,\n')
    shops = [dict(shop='north', report=str(report)), dict(shop='south', ran=False)]
    assert run(fleet_report, dict(dest=str(dest), shops=shops), check_mode=True).result['changed']
    assert not dest.exists()
    assert run(fleet_report, dict(dest=str(dest), shops=shops)).result['changed']
    written = dest.stat()
    assert not run(fleet_report, dict(dest=str(dest), shops=shops)).result['changed']
    assert dest.stat().st_ino == written.st_ino
    shops[1] = dict(shop='south', report=str(report))
    assert run(fleet_report, dict(dest=str(dest), shops=shops), check_mode=True).result['changed']
    assert dest.stat().st_ino == written.st_ino
