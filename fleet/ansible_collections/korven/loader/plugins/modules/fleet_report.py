#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: fleet_report
short_description: Gather the update reports of many sites into one fleet report
version_added: 1.1.0
description:
  - Runs on the controller, after the sites' reports were fetched there. Writes
    one CSV table, I(dest), with the site as its first column, every line of
    every site's report, and one summary line per site after its lines.
  - The second column, C(line), is C(terminal) for a line of a site's report
    and C(summary) for a summary line, so a spreadsheet filter or a script
    tells them apart. The report's own columns follow in their order; a column
    only some sites' reports have (an older command line) is empty for the rest.
  - The summary line repeats the run's facts (image, checksum, started, ended,
    version, ...) and fills the summary columns after the report's, empty on terminal lines,
    C(shop_result) (C(clean), C(not clean), C(no report), C(not run)),
    C(shop_terminals), C(shop_streamed), C(shop_cut), C(shop_not_connected),
    C(shop_held_back), C(shop_not_clean), C(shop_message),
    C(shop_unconfirmed) (streamed, no verdict heard; not clean only where the
    update required a verdict) and C(shop_already_current) (not streamed, the
    history saying it runs the image already).
  - The last columns, C(last_clean_image) and C(last_clean_image_sha256),
    fill a terminal line when the site's I(history) is given, with the image
    the terminal last took clean; empty when it never took one clean.
  - The task is C(changed) only when the file's content changed; an
    unchanged file is not written again.
author:
  - KORVEN loader team (@korven)
options:
  dest:
    description: The fleet report to write; its folder is made when missing.
    type: path
    required: true
  shops:
    description: One entry per site, in the order the fleet report lists them.
    type: list
    elements: dict
    required: true
    suboptions:
      shop:
        description: The site's name, as the inventory names its host.
        type: str
        required: true
      report:
        description: The site's CSV report on the controller; empty when none came.
        type: path
      ran:
        description: Whether the site's update ran at all (false when the rollout stopped before its wave).
        type: bool
        default: true
      note:
        description: What the site's update task said, shown in the summary line.
        type: str
        default: ''
      history:
        description:
          - The site's terminals as M(korven.loader.history_info) returned
            them; each terminal line of the site gets the image its address
            last took clean.
        type: list
        elements: dict
notes:
  - Supports check mode; nothing is written then, and C(changed) says whether
    the file would change.
'''

EXAMPLES = r'''
- name: One fleet report from the reports brought home
  korven.loader.fleet_report:
    dest: /srv/rollouts/2026-12-08/fleet-report.csv
    shops:
      - shop: shop-0001
        report: /srv/rollouts/2026-12-08/shop-0001/2026-12-08_22-00-03_FW_WG.BIN.csv
        history: "{{ shop_0001_history.terminals }}"
      - shop: shop-0002
        ran: false
'''

RETURN = r'''
dest:
  description: The fleet report written.
  returned: always
  type: str
shops:
  description: The summary of each site, as its summary line holds it.
  returned: always
  type: list
  elements: dict
  sample:
    - {shop: shop-0001, result: not clean, terminals: 10, streamed: 9, cut: 0,
       not_connected: 1, held_back: 0, not_clean: 1, unconfirmed: 2, already_current: 0, note: ''}
'''

import csv
import io
import os
import tempfile

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.korven.loader.plugins.module_utils.report import is_clean, read_csv, requires_verdict

# Facts of the run, the same on every line of a site's report.
RUN_FACTS = ('image', 'image_bytes', 'blocks', 'checksum', 'image_sha256', 'target', 'range', 'block_pace_ms',
             'go_boot', 'started', 'ended', 'version', 'waves', 'stopped_after_wave', 'wave_sizes',
             'max_failed', 'require_verdict')
COUNTED = ('streamed', 'cut', 'not connected', 'held back', 'already current')
# Columns are only ever appended: a script may read them by position.
SUMMARY = ('shop_result', 'shop_terminals', 'shop_streamed', 'shop_cut', 'shop_not_connected', 'shop_held_back',
           'shop_not_clean', 'shop_message', 'shop_unconfirmed', 'shop_already_current')
# On terminal lines, from the site's history: the image it last took clean.
LAST_CLEAN = (('last_clean_image', 'image'), ('last_clean_image_sha256', 'image_sha256'))


def as_text_cell(text):
    # A spreadsheet runs a cell starting like a formula; the reports write it as text.
    return "'" + text if text[:1] in ('=', '+', '-', '@', '\t', '\r') else text


def summarise(lines):
    counts = dict((name, 0) for name in COUNTED)
    not_clean = unconfirmed = 0
    for line in lines:
        if line.get('outcome') in counts:
            counts[line['outcome']] += 1
        unconfirmed += line.get('clean') == 'unconfirmed'
        not_clean += not is_clean(line, requires_verdict(line))
    summary = dict(('shop_' + name.replace(' ', '_'), n) for name, n in counts.items())
    summary.update(shop_terminals=len(lines), shop_not_clean=not_clean, shop_unconfirmed=unconfirmed,
                   shop_result='not clean' if not_clean else 'clean')
    return summary


def last_clean_cells(history):
    """Per address (as the report writes it), the last_clean cells of its line."""
    cells = {}
    for entry in history or []:
        last = entry.get('last_clean') or {}
        cells[as_text_cell(str(entry.get('address', '')))] = dict(
            (column, as_text_cell(str(last.get(key) or ''))) for column, key in LAST_CLEAN)
    return cells


def gather(shops):
    """The fleet report's columns and rows, and each site's summary."""
    columns, rows, summaries = [], [], []
    for entry in shops:
        shop = as_text_cell(entry['shop'])
        summary = dict(shop=shop, line='summary', shop_message=as_text_cell(entry['note'] or ''))
        if not entry['ran']:
            summary['shop_result'] = 'not run'
        elif not entry['report']:
            summary['shop_result'] = 'no report'
        else:
            try:
                report_columns, lines = read_csv(entry['report'])
            except (IOError, OSError, ValueError, csv.Error) as e:
                summary.update(shop_result='no report', shop_message='cannot read the report: %s' % e)
            else:
                columns += [c for c in report_columns if c not in columns]
                last_clean = last_clean_cells(entry['history'])
                rows += [dict(row, shop=shop, line='terminal', **last_clean.get(row.get('address'), {}))
                         for row in lines]
                summary.update((fact, lines[0].get(fact, '')) for fact in RUN_FACTS if lines)
                summary.update(summarise(lines))
                summary['clean'] = 'yes' if summary['shop_result'] == 'clean' else 'no'
        rows.append(summary)
        summaries.append(dict(((key[len('shop_'):], summary.get(key, 0)) for key in SUMMARY if key != 'shop_message'),
                              shop=entry['shop'], note=summary['shop_message']))
    return ['shop', 'line'] + columns + list(SUMMARY) + [column for column, dummy in LAST_CLEAN], rows, summaries


def as_csv(columns, rows):
    text = io.StringIO(newline='')
    writer = csv.DictWriter(text, fieldnames=columns, restval='', extrasaction='ignore')
    writer.writeheader()
    writer.writerows(rows)
    return text.getvalue()


def current_content(dest):
    try:
        with io.open(dest, newline='', encoding='utf-8') as f:
            return f.read()
    except (IOError, OSError, ValueError):
        return None


def write_atomically(module, dest, content):
    folder = os.path.dirname(os.path.abspath(dest))
    os.makedirs(folder, exist_ok=True)
    fd, scratch = tempfile.mkstemp(prefix='.fleet-report-', dir=folder)
    with os.fdopen(fd, 'w', newline='', encoding='utf-8') as f:
        f.write(content)
    module.atomic_move(scratch, dest)


def main():
    module = AnsibleModule(
        argument_spec=dict(
            dest=dict(type='path', required=True),
            shops=dict(type='list', elements='dict', required=True, options=dict(
                shop=dict(type='str', required=True),
                report=dict(type='path'),
                ran=dict(type='bool', default=True),
                note=dict(type='str', default=''),
                history=dict(type='list', elements='dict'),
            )),
        ),
        supports_check_mode=True,
    )
    dest = module.params['dest']
    columns, rows, summaries = gather(module.params['shops'])
    content = as_csv(columns, rows)
    changed = content != current_content(dest)
    if changed and not module.check_mode:
        try:
            write_atomically(module, dest, content)
        except (IOError, OSError) as e:
            module.fail_json(msg='cannot write %s: %s' % (dest, e), shops=summaries)
    module.exit_json(changed=changed, dest=dest, shops=summaries)


if __name__ == '__main__':
    main()
