#!/usr/bin/env bash
# Installs what is missing, builds the loader and the board simulator, starts the
# simulator on a pseudo-terminal and the loader with COM1: mapped to it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
echo "run.sh: the loader is not built yet" >&2
exit 1
