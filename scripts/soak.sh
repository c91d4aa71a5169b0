#!/usr/bin/env bash
# Logins beside an administrator, with this tree's library and with an
# earlier revision's, one after the other in one run (bench/login_soak.cc):
#
#   scripts/soak.sh [SECONDS [REVISION]]
#
# SECONDS each (default 60); REVISION is the earlier build (default: the
# commit before the read cache stopped watching the journal's content and
# lock waits were capped). Both are Release builds of the library and tool.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
revision=${2:-86f0c4f}

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target brellox brellox_tool login_soak

# The earlier revision in a worktree of its own, built as this tree is
# (its default folder, so that a compiler cache finds what it shares).
base=build/soak-base
if [[ ! -d $base ]]; then
  git worktree add --detach "$base" "$revision" >/dev/null
else
  git -C "$base" checkout --quiet --detach "$revision"
fi
(cd "$base" && cmake --preset tool >/dev/null &&
  cmake --build --preset tool --target brellox brellox_tool)

soak=build/default/bench/login_soak
for which in "$revision:$base/build/default" "this tree:build/default"; do
  echo "== ${which%%:*}"
  dir=${which#*:}
  "$soak" "$PWD/$dir/libbrellox.so" "$PWD/$dir/tools/brellox/brellox" \
    "$seconds" || echo "(some checks or commands failed)"
done
