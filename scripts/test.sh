#!/usr/bin/env bash
# Sets up everything this machine lacks, builds both targets and runs every
# test of the x86_64 build under wine64 (Xvfb when there is no display).
# Idempotent; reruns reuse the cross-built libraries, fixtures and Wine prefix.
#   test.sh [ctest arguments, e.g. -R engine]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/lib.sh"
t0=$(date +%s)

bash "$top/scripts/setup.sh"
bash "$top/scripts/build.sh"

# The 32-bit product must load on Windows XP: no DLL or function of a later
# system among its imports. Reported now, failed at the end (the tests still run).
stage "imports of the 32-bit product"
imports_ok=1
python3 "$top/scripts/check-imports.py" i686-w64-mingw32 "$top/build/i686/shipped.txt" || imports_ok=0

stage "wine test bed"
. "$top/scripts/wine-env.sh"
wine_start
# Leave no wineserver or Xvfb behind (SALVORA_KEEP_WINE=1 keeps them warm).
[ -n "${SALVORA_KEEP_WINE:-}" ] || trap wine_stop EXIT

stage "tests (x86_64 under wine64)"
cd "$top/build/x86_64"
status=0
ctest --output-on-failure -j "${SALVORA_JOBS:-$(nproc)}" "$@" || status=$?
stage_done

# The README's first command, as a new user runs it: the headless demo in a
# Wine prefix of its own, made from nothing. It fails unless every deleted
# file of the demo volume comes back byte for byte. (Skipped when only some
# tests were asked for.)
if [ $# -eq 0 ] && [ -z "${SALVORA_SKIP_DEMO:-}" ]; then
  stage "demo (fresh Wine prefix)"
  demo_prefix=$(mktemp -d "${TMPDIR:-/tmp}/salvora-demo.XXXXXX")
  if SALVORA_WINEPREFIX="$demo_prefix/prefix" bash "$top/scripts/demo.sh" --headless; then
    note "demo: every deleted file recovered byte for byte"
  else
    echo "error: the headless demo did not recover every deleted file" >&2
    status=1
  fi
  rm -rf "$demo_prefix"
  stage_done
fi

# Screenshots for people to look at.
if command -v convert >/dev/null; then
  for b in "$SALVORA_ARTIFACTS"/*.bmp; do
    [ -e "$b" ] || continue
    convert "$b" "${b%.bmp}.png" && rm -f "$b"
  done
fi
echo "artifacts: $SALVORA_ARTIFACTS"
echo "total: $(( $(date +%s) - t0 ))s"
if [ $imports_ok = 0 ]; then
  echo "FAILED: the 32-bit product imports what Windows XP lacks (see the imports stage above)"
  [ $status != 0 ] || status=1
fi
exit $status
