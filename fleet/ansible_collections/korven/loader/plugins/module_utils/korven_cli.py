# -*- coding: utf-8 -*-
# What the korven.loader modules share: finding korven-cli on the site PC,
# running it, and reading its JSON, its errors and its report.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json

# Options every module takes the same way.
CLI_OPTION = dict(type='path')
INTERFACE_OPTION = dict(type='list', elements='str')

# The outcomes a report line can have, as count keys (spaces as underscores).
OUTCOMES = ('streamed', 'cut', 'not connected', 'outside range', 'interrupted',
            'planned', 'held back')
# Names listed in a message before it says "and N more": a site of a
# thousand terminals must not produce a message nobody can read.
NAMES_IN_MESSAGE = 20


def find_cli(module):
    """The korven-cli to run: the option `cli`, else the one on PATH."""
    given = module.params.get('cli')
    if given:
        return given
    found = module.get_bin_path('korven-cli')
    if not found:
        module.fail_json(msg='korven-cli not found on PATH; install the korven-loader '
                             'package on this PC or give its path in the option cli')
    return found


def seconds(value):
    """5.0 seconds written "5", as a technician would type it."""
    return str(int(value)) if float(value).is_integer() else str(value)


def interface_args(interfaces):
    return ['--interface', ','.join(interfaces)] if interfaces else []


def run_cli(module, args, cwd=None):
    """Runs korven-cli with args; returns (command, rc, stdout, stderr)."""
    command = [find_cli(module)] + args
    # expand_user_and_vars=False: an address or a file name is passed as given.
    rc, out, err = module.run_command(command, cwd=cwd, expand_user_and_vars=False)
    return command, rc, out, err


def parse_json(text):
    """The one JSON object korven-cli printed, or None."""
    try:
        value = json.loads(text)
    except ValueError:
        return None
    return value if isinstance(value, dict) else None


def cli_message(rc, out, err):
    """The reason korven-cli gave for exit rc: its JSON error, else stderr."""
    printed = parse_json(out)
    if printed and printed.get('error'):
        return printed['error']
    lines = [line for line in err.splitlines() if line.strip()]
    # Progress lines come first; the reason for an early end is the last line.
    if lines:
        return lines[-1]
    return 'korven-cli ended with exit %d and said nothing' % rc


def is_clean(line):
    """A report line's clean flag; derived as the CLI does where it is absent.
    A terminal a dry run planned counts as clean: nothing went wrong with it."""
    if line.get('outcome') in ('outside range', 'planned'):
        return True
    if 'clean' in line:
        return bool(line['clean'])
    return line.get('outcome') == 'streamed' and line.get('reply') not in ('CHKERR', 'FULL')


def count_outcomes(report):
    counts = dict((outcome.replace(' ', '_'), 0) for outcome in OUTCOMES)
    counts['not_clean'] = 0
    for line in report.get('terminals') or []:
        key = str(line.get('outcome', '')).replace(' ', '_')
        if key in counts:
            counts[key] += 1
        if not is_clean(line):
            counts['not_clean'] += 1
    return counts


def describe_line(line):
    """"10.0.0.7 (not connected)", "10.0.0.8 (streamed, reply CHKERR)"."""
    text = '%s (%s' % (line.get('address') or '?', line.get('outcome') or 'no outcome')
    if line.get('reply') in ('CHKERR', 'FULL'):
        text += ', reply %s' % line['reply']
    return text + ')'


def name_lines(lines):
    names = [describe_line(line) for line in lines[:NAMES_IN_MESSAGE]]
    if len(lines) > NAMES_IN_MESSAGE:
        names.append('and %d more' % (len(lines) - NAMES_IN_MESSAGE))
    return ', '.join(names)


def unclean_lines(report):
    return [line for line in report.get('terminals') or [] if not is_clean(line)]
