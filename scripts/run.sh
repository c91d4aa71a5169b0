#!/usr/bin/env bash
# Sets up and builds the library and its admin tool (nothing else: no tests,
# no benchmarks, none of their packages), then shows the configuration of the
# library's own file (written beside it on first load). The build shares
# build/default with the full one, which scripts/test.sh makes.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --minimal
cmake --preset tool >/dev/null
cmake --build --preset tool
build/default/tools/brellox/brellox show
