#!/bin/sh
# Runs pytest in the test folder DIR with a Python that has it. A Python
# installed apart from the system's (pyenv and the like) often lacks it;
# Debian's python3-pytest belongs to /usr/bin/python3.
#   tests/run_pytest.sh DIR [PYTEST ARGS...]
dir=$1
shift
for py in "${TARVIK_PYTHON:-}" /usr/bin/python3 python3; do
    [ -n "$py" ] || continue
    if "$py" -c 'import pytest' 2>/dev/null; then
        cd "$dir" && exec "$py" -m pytest -p no:cacheprovider -ra "$@"
    fi
done
echo "$0: no python3 with pytest (apt-get install python3-pytest)" >&2
exit 1
