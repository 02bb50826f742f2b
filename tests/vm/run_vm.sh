#!/bin/sh
# Runs the vm level with a Python that has pytest (Debian's python3-pytest
# belongs to /usr/bin/python3; a pyenv Python often lacks it).
here=$(cd "$(dirname "$0")" && pwd)
for py in "${TARVIK_PYTHON:-}" /usr/bin/python3 python3; do
    [ -n "$py" ] || continue
    if "$py" -c 'import pytest' 2>/dev/null; then
        cd "$here" && exec "$py" -m pytest -p no:cacheprovider -ra "$@"
    fi
done
echo "run_vm.sh: no python3 with pytest (apt-get install python3-pytest)" >&2
exit 1
