#!/usr/bin/env bash
# Sets up and builds the library and its admin tool, then shows the
# configuration of the library's own file (written beside it on first load).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
build/default/tools/brellox/brellox show
