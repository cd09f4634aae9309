"""The Wine environment of the tests, read from scripts/wine-env (the one
place every script and the harness take it from)."""

import os

from . import SOURCE_DIR


def wine_variables():
    """The variables of scripts/wine-env, by name."""
    variables = {}
    with open(os.path.join(SOURCE_DIR, 'scripts', 'wine-env')) as f:
        for line in f:
            line = line.strip()
            if line and not line.startswith('#') and '=' in line:
                name, value = line.split('=', 1)
                variables[name] = value
    return variables


def wine_env(prefix, base=None):
    """base (default: this process's environment) with the Wine variables,
    the loader wrapper first in PATH and WINEPREFIX set to prefix."""
    env = dict(os.environ if base is None else base)
    env.update(wine_variables())
    wrapper = os.path.join(SOURCE_DIR, 'scripts', 'wine-bin')
    path = env.get('PATH', '')
    if wrapper not in path.split(os.pathsep):
        env['PATH'] = wrapper + (os.pathsep + path if path else '')
    env['WINEPREFIX'] = prefix
    return env
