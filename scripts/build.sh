#!/usr/bin/env bash
# Configures and builds both targets: build/i686 (the 32-bit product, compiled
# and linked only) and build/x86_64 (the build the tests run under wine64).
#   build.sh [i686|x86_64 ...]     default: both
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/lib.sh"

targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(i686 x86_64)
jobs=${SALVORA_JOBS:-$(nproc)}
# With ccache, several checkouts of the project share their compiled objects
# (paths below the checkout are made relative).
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR=$top CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

for arch in "${targets[@]}"; do
  stage "build $arch"
  trip="$arch-w64-mingw32"
  dep_prefixes "$trip"
  tests=OFF; [ "$arch" = x86_64 ] && tests=ON
  bdir="$top/build/$arch"
  cmake -S "$top" -B "$bdir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-$arch.cmake" \
    -DSALVORA_TESTS=$tests "${launcher[@]}" \
    -DSALVORA_CURL_PREFIX="$CURL_PREFIX" -DSALVORA_TINYXML_PREFIX="$TINYXML_PREFIX" >/dev/null
  # SALVORA_BUILD_TARGETS="salvora demo_run" builds only those (the demo).
  targets_opt=()
  for t in ${SALVORA_BUILD_TARGETS:-}; do targets_opt+=(--target "$t"); done
  cmake --build "$bdir" -j "$jobs" "${targets_opt[@]}"
done
stage_done
