# -*- coding: utf-8 -*-
# The command line of korven-cli update as the update module builds it: the
# target, the options, and the report file it is told to make.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import datetime
import os

from ansible_collections.korven.loader.plugins.module_utils.korven_cli import interface_args, seconds

TARGETS = ('all', 'terminal', 'terminals', 'retry_report')


def target_args(params):
    given = [name for name in TARGETS if params[name] not in (None, False, [])]
    if len(given) != 1:
        return None, 'exactly one of all, terminal, terminals, retry_report is required'
    if params['all']:
        args = ['--all']
        for name in ('from', 'to'):
            if params[name] is not None:
                args += ['--' + name, str(params[name])]
        return args, None
    if params['from'] is not None or params['to'] is not None:
        return None, 'from and to go with all'
    if params['terminal']:
        return ['--terminal', params['terminal']], None
    if params['terminals']:
        return ['--terminals', ','.join(params['terminals'])], None
    return ['--retry', params['retry_report']], None


def option_args(params, check_mode, image_there):
    args = []
    for name, flag in (('wait', '--wait'), ('verdict_wait', '--verdict-wait'),
                       ('pause_between_waves', '--pause-between-waves'),
                       ('retry_pause', '--retry-pause')):
        if params[name] is not None:
            args += [flag, seconds(params[name])]
    if params['delay'] is not None:
        args += ['--delay', str(params['delay'])]
    if params['go_boot'] is not None:
        args += ['--go-boot', 'on' if params['go_boot'] else 'off']
    if params['waves']:
        args += ['--waves', ','.join(params['waves'])]
    if params['max_failed'] is not None:
        args += ['--max-failed', params['max_failed']]
    if params['require_verdict']:
        args.append('--require-verdict')
    if params['skip_current']:
        args.append('--skip-current')
    if params['history']:
        args += ['--history', params['history']]
    if params['window']:
        args += ['--window', params['window']]
    if params['window_now_or_never']:
        args.append('--window-now-or-never')
    if params['retries'] is not None:
        args += ['--retries', str(params['retries'])]
    # A dry run of an image not copied yet has no file to check the sum of.
    if params['image_sha256'] and (image_there or not check_mode):
        args += ['--sha256', params['image_sha256']]
    args += interface_args(params['interface'])
    if check_mode:
        args.append('--dry-run')
    return args


def report_file(folder, image):
    """A fresh name in folder, as the command line names its reports."""
    stem = os.path.join(folder, datetime.datetime.now().strftime('%Y-%m-%d_%H-%M-%S_')
                        + os.path.basename(image))
    path, n = stem + '.csv', 2
    while os.path.exists(path):
        path, n = '%s_%d.csv' % (stem, n), n + 1
    return path


def existing_folder(path):
    """path, or its nearest folder that exists: where a dry run of an image
    that is not there yet can start."""
    while not os.path.isdir(path) and os.path.dirname(path) != path:
        path = os.path.dirname(path)
    return path


def new_report(module, image):
    """The report file korven-cli is to make; its folder made when missing."""
    folder = module.params['report_dir'] or os.path.join(os.path.dirname(image), 'reports')
    if not module.params['report_dir'] and not os.path.isdir(os.path.dirname(image)):
        module.fail_json(msg='cannot read %s: no such folder on this host' % image)
    try:
        os.makedirs(folder, exist_ok=True)
    except OSError as e:
        module.fail_json(msg='cannot make the report folder %s: %s' % (folder, e))
    return report_file(folder, image)
