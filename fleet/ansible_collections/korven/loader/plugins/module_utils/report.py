# -*- coding: utf-8 -*-
# Reading korven-cli's update reports (its JSON, or the CSV it keeps on disk)
# and saying what they hold: outcomes counted, terminals not clean named, and
# one line of what happened or, in a dry run, of what would happen.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import csv
import io
import os

from ansible_collections.korven.loader.plugins.module_utils.korven_cli import parse_json

# The outcomes a report line can have, as count keys (spaces as underscores).
OUTCOMES = ('streamed', 'cut', 'not connected', 'outside range', 'interrupted',
            'planned', 'held back', 'already current')
# Names listed in a message before it says "and N more": a site of a
# thousand terminals must not produce a message nobody can read.
NAMES_IN_MESSAGE = 20
# The keys of a terminal's entry in the JSON report; the CSV's other columns
# are the run's facts, repeated on every row.
TERMINAL_KEYS = ('terminal', 'address', 'in_range', 'connected', 'pieces_sent', 'pieces_total',
                 'first_failed_piece', 'reply', 'outcome', 'reply_before', 'clean',
                 'discovery_reply', 'wave')
NUMBERS = ('terminal', 'pieces_sent', 'pieces_total', 'first_failed_piece', 'wave')
FLAGS = ('in_range', 'connected')
# Leading characters that made the command line write a cell as text ('=...).
FORMULA_STARTS = ('=', '+', '-', '@', '\t', '\r')


def read_csv(path):
    """(columns, lines) of a CSV report, cells as written; raises ValueError
    when the file is no update report."""
    with io.open(path, newline='', encoding='utf-8-sig') as f:
        records = list(csv.reader(f))
    facts = {}
    blank = records.index([]) if [] in records else 0
    if blank and all(len(r) == 2 for r in records[:blank]):
        # The earlier form, from an older command line: the run's facts as
        # key,value lines, a blank line, then the table.
        facts = dict(records[:blank])
        records = records[blank + 1:]
    columns = records[0] if records else []
    lines = [dict(facts, **dict(zip(columns, r))) for r in records[1:] if r]
    columns += [fact for fact in facts if fact not in columns]
    if 'address' not in columns or 'outcome' not in columns:
        raise ValueError('%s is not an update report' % path)
    return columns, lines


def cell_value(key, text):
    if text[:1] == "'" and text[1:2] in FORMULA_STARTS:
        text = text[1:]
    if key in NUMBERS:
        return int(text) if text.isdigit() else None
    if key in FLAGS:
        return text == 'yes'
    return text


def report_from_csv(path):
    """The report korven-cli keeps at path, in the JSON report's shape: the
    run's facts (as the CSV writes them) once, and the terminals."""
    dummy, lines = read_csv(path)
    report = dict((key, text) for key, text in (lines[0] if lines else {}).items()
                  if key not in TERMINAL_KEYS)
    report['report_file'] = path
    report['terminals'] = [dict((key, cell_value(key, line.get(key, ''))) for key in TERMINAL_KEYS)
                           for line in lines]
    return report


def read_report(out, path):
    """(report, printed): the report korven-cli printed, else the one it left
    at path (it ended early, or was killed), else {}."""
    printed = parse_json(out) or {}
    if 'terminals' in printed:
        return printed, True
    if path and os.path.isfile(path):
        try:
            return report_from_csv(path), False
        except (IOError, OSError, ValueError):
            pass
    return {}, False


def requires_verdict(report):
    return report.get('require_verdict') in (True, 'yes', 'true')


def is_clean(line, require_verdict=False):
    """A report line's verdict. clean is "yes", "no" or "unconfirmed"
    (streamed, nothing heard), which is clean unless a verdict was required;
    older reports say true/false, or have no clean at all. A terminal a dry
    run planned, or one outside the range, counts as clean: nothing went
    wrong with it."""
    if line.get('outcome') in ('outside range', 'planned'):
        return True
    clean = line.get('clean')
    if clean == 'unconfirmed':
        return not require_verdict
    if clean in ('yes', 'no', True, False):
        return clean in ('yes', True)
    return line.get('outcome') == 'streamed' and line.get('reply') not in ('CHKERR', 'FULL')


def count_outcomes(report):
    counts = dict((outcome.replace(' ', '_'), 0) for outcome in OUTCOMES)
    counts.update(unconfirmed=0, not_clean=0)
    for line in report.get('terminals') or []:
        key = str(line.get('outcome', '')).replace(' ', '_')
        if key in counts:
            counts[key] += 1
        if line.get('clean') == 'unconfirmed':
            counts['unconfirmed'] += 1
        if not is_clean(line, requires_verdict(report)):
            counts['not_clean'] += 1
    return counts


def bytes_reached_terminals(report):
    return any((line.get('pieces_sent') or 0) > 0 for line in report.get('terminals') or [])


# Why a terminal was held back, as a report line's held_reason says.
HELD_BECAUSE = {'window': ' by the window', 'max-failed': ' after too many failures'}


def describe_line(line):
    """"10.0.0.7 (not connected)", "10.0.0.8 (streamed, reply CHKERR)"."""
    text = '%s (%s' % (line.get('address') or '?', line.get('outcome') or 'no outcome')
    text += HELD_BECAUSE.get(line.get('held_reason') or '', '')
    if (line.get('attempts') or 0) > 1:
        text += ' at each of %d attempts' % line['attempts']
    if line.get('reply') in ('CHKERR', 'FULL'):
        text += ', reply %s' % line['reply']
    elif line.get('clean') == 'unconfirmed':
        text += ', no verdict heard'
    return text + ')'


def name_lines(lines):
    names = [describe_line(line) for line in lines[:NAMES_IN_MESSAGE]]
    if len(lines) > NAMES_IN_MESSAGE:
        names.append('and %d more' % (len(lines) - NAMES_IN_MESSAGE))
    return ', '.join(names)


def unclean_lines(report):
    return [line for line in report.get('terminals') or []
            if not is_clean(line, requires_verdict(report))]


def terminals(n):
    return '%d terminal%s' % (n, '' if n == 1 else 's')


def what_happened(report):
    """"4 terminals: 2 streamed clean, 1 streamed with no verdict heard, 1 not connected"."""
    lines = report.get('terminals') or []
    if not lines:
        return 'no terminal'
    parts, seen = [], {}
    for line in lines:
        outcome = line.get('outcome') or 'no outcome'
        if outcome == 'streamed':
            if line.get('reply') in ('CHKERR', 'FULL'):
                outcome = 'streamed but replied ' + line['reply']
            elif line.get('clean') == 'unconfirmed':
                outcome = 'streamed with no verdict heard'
            elif is_clean(line):
                outcome = 'streamed clean'
        if outcome == 'held back':
            outcome += HELD_BECAUSE.get(line.get('held_reason') or '', '')
        if outcome == 'outside range':
            outcome = 'outside the range'
        if outcome not in seen:
            seen[outcome] = 0
            parts.append(outcome)
        seen[outcome] += 1
    return '%s: %s' % (terminals(len(lines)), ', '.join('%d %s' % (seen[p], p) for p in parts))


def what_would_happen(report):
    """"3 terminals would be streamed, 2 already current, 1 does not answer"."""
    counts = count_outcomes(report)
    parts = []
    if counts['planned'] or not counts['not_connected']:
        parts.append('%s would be streamed' % terminals(counts['planned']))
    if counts['already_current']:
        parts.append('%d already current' % counts['already_current'])
    if counts['not_connected']:
        parts.append('%d %s not answer' % (counts['not_connected'],
                                           'does' if counts['not_connected'] == 1 else 'do'))
    if counts['outside_range']:
        parts.append('%d outside the range' % counts['outside_range'])
    return ', '.join(parts)
