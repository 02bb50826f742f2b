#!/bin/sh
# Runs the vm level (pytest in this folder).
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/../run_pytest.sh" "$here" "$@"
