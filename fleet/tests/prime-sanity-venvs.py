"""Makes the virtual environments ansible-test sanity would fill from PyPI,
from the Python packages Debian installed instead: each is a venv that sees
the system's site packages, marked as complete so ansible-test runs no pip.
Run with the ansible-test of the system, HOME pointing at a scratch folder.
usage: prime-sanity-venvs.py TEST..."""

import os
import pathlib
import sys
import venv

from ansible_test._internal.commands.sanity import hash_pip_commands
from ansible_test._internal.host_configs import NativePythonConfig
from ansible_test._internal.python_requirements import collect_requirements

version = '%d.%d' % sys.version_info[:2]
python = NativePythonConfig(version=version, path=sys.executable)
# The import test runs its helper in the venv "import"; the modules themselves
# are imported in an empty venv that needs no packages and stays ansible-test's.
for test in sys.argv[1:]:
    commands = collect_requirements(python=python, controller=True, virtualenv=False,
                                    command=None, ansible=False, cryptography=False,
                                    coverage=False, minimize=False, sanity=test)
    if not commands:
        continue
    path = pathlib.Path.home() / '.ansible/test/venv' / ('sanity.' + test) / version / hash_pip_commands(commands)
    venv.create(path, system_site_packages=True, with_pip=False, symlinks=True)
    (path / 'meta.install.json').write_text('[]')
    (path / 'meta.yaml.json').write_text('true')  # PyYAML of Debian has libyaml
    (path / 'marker.txt').touch()
    print('sanity venv for %s from Debian packages: %s' % (test, os.path.relpath(path, pathlib.Path.home())))
