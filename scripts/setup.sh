#!/usr/bin/env bash
# Prepares a fresh Debian 12 machine: toolchains, Wine, test tools, and the
# cross-built libcurl and tinyxml for both targets. Safe to run again: every
# stage checks first and skips what is already in place.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/lib.sh"

PACKAGES=(
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64
  libz-mingw-w64-dev wine wine64 xvfb xdotool imagemagick fonts-wqy-zenhei
  cmake ninja-build googletest dosfstools mtools ntfs-3g ntfs-3g-dev
  sleuthkit testdisk fdisk dpkg-dev gcc python3 xxd tinyproxy dante-server
  ffmpeg python3-xlwt libgsf-bin ghostscript python3-unicorn ccache openssl
)

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

install_packages() {
  local missing=() p
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
    # wine32 makes /usr/bin/wine pick a 32-bit loader this kernel cannot run.
    die "wine32:i386 is installed; remove it (apt-get remove wine32:i386) - it breaks wine here"
  fi
  if [ ${#missing[@]} -eq 0 ]; then
    note "packages: all present"
    return
  fi
  note "packages: installing ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

enable_deb_src() {
  local src=/etc/apt/sources.list.d/salvora-deb-src.sources
  if [ -f "$src" ] || grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ \
     || grep -qs '^deb-src' /etc/apt/sources.list; then
    return
  fi
  note "apt: adding deb-src entries for the source packages"
  local tmp
  tmp=$(mktemp)
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$tmp"
  else
    grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' > "$tmp"
    src=/etc/apt/sources.list.d/salvora-deb-src.list
  fi
  as_root install -m 644 "$tmp" "$src"
  rm -f "$tmp"
  as_root apt-get update -qq
}

source_version() {
  apt-cache showsrc "$1" 2>/dev/null | awk '/^Version:/{print $2}' | sort -V | tail -1
}

fetch_source() { # name workdir -> prints the unpacked source folder
  local name=$1 work=$2
  mkdir -p "$work"
  if ! ls -d "$work"/"$name"-*/ >/dev/null 2>&1; then
    (cd "$work" && apt-get source -qq "$name" >/dev/null 2>&1) || die "apt-get source $name failed"
  fi
  ls -d "$work"/"$name"-*/ | head -1
}

build_curl() { # triplet
  local trip=$1 ver=$2
  local prefix tag
  prefix=$(curl_prefix "$ver" "$trip"); tag=$(curl_tag)
  if [ -f "$prefix/.done" ]; then note "libcurl $ver ($trip, $tag): cached"; return; fi
  # Checkouts share the cache: one build per configuration at a time.
  local lock
  exec {lock}>"$DEPS/.libcurl-$tag-$trip.lock"
  flock "$lock"
  if [ -f "$prefix/.done" ]; then note "libcurl $ver ($trip, $tag): cached"; return; fi
  local src
  src=$(fetch_source curl "$DEPS/src")
  note "libcurl $ver ($trip, $tag): building"
  local bdir="$DEPS/build/libcurl-$tag-$trip"
  rm -rf "$bdir" "$prefix"; mkdir -p "$DEPS/build"
  cmake -S "$src" -B "$bdir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-${trip%%-*}.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" "${CURL_CMAKE_FLAGS[@]}" \
    -DZLIB_LIBRARY="/usr/$trip/lib/libz.a" -DZLIB_INCLUDE_DIR="/usr/$trip/include" \
    >"$bdir.log" 2>&1 || { tail -30 "$bdir.log"; die "libcurl configure failed"; }
  cmake --build "$bdir" --target install >>"$bdir.log" 2>&1 \
    || { tail -30 "$bdir.log"; die "libcurl build failed"; }
  touch "$prefix/.done"
}

build_tinyxml() { # triplet
  local trip=$1 ver=$2
  local prefix="$DEPS/tinyxml-$ver/$trip"
  if [ -f "$prefix/.done" ]; then note "tinyxml $ver ($trip): cached"; return; fi
  local src f objs=()
  src=$(fetch_source tinyxml "$DEPS/src")
  note "tinyxml $ver ($trip): building"
  local out="$DEPS/build/tinyxml-$trip"
  rm -rf "$out"; mkdir -p "$out" "$prefix/include" "$prefix/lib"
  for f in tinyxml tinystr tinyxmlerror tinyxmlparser; do
    "$trip-g++-posix" -O2 -DTIXML_USE_STL -c "$src/$f.cpp" -o "$out/$f.o"
    objs+=("$out/$f.o")
  done
  "$trip-ar" rcs "$prefix/lib/libtinyxml.a" "${objs[@]}"
  cp "$src/tinyxml.h" "$src/tinystr.h" "$prefix/include/"
  touch "$prefix/.done"
}

main() {
  stage "packages"
  install_packages
  stage "cross-built dependencies"
  mkdir -p "$DEPS"
  local curl_ver tx_ver
  curl_ver=$(cached_curl_version) ; tx_ver=$(cached_version tinyxml)
  if [ -z "$curl_ver" ] || [ -z "$tx_ver" ]; then
    enable_deb_src
    curl_ver=$(source_version curl); tx_ver=$(source_version tinyxml)
    [ -n "$curl_ver" ] && [ -n "$tx_ver" ] || die "cannot find the curl and tinyxml source packages"
  fi
  # The two targets build side by side: curl's configure checks run one at a
  # time, so one target alone leaves most of the processors idle. The sources
  # are fetched first so that the two builds do not unpack them twice.
  local t pids=()
  for t in i686-w64-mingw32 x86_64-w64-mingw32; do
    [ -f "$(curl_prefix "$curl_ver" "$t")/.done" ] || fetch_source curl "$DEPS/src" >/dev/null
    [ -f "$DEPS/tinyxml-$tx_ver/$t/.done" ] || fetch_source tinyxml "$DEPS/src" >/dev/null
  done
  for t in i686-w64-mingw32 x86_64-w64-mingw32; do
    ( build_curl "$t" "$curl_ver" && build_tinyxml "$t" "$tx_ver" ) &
    pids+=($!)
  done
  for t in "${pids[@]}"; do wait "$t" || die "a cross-built dependency failed (logs in $DEPS/build)"; done
  printf 'SALVORA_CURL_VERSION=%s\nSALVORA_TINYXML_VERSION=%s\n' "$curl_ver" "$tx_ver" > "$DEPS/versions.env"
  stage_done
}

# A version already built for both targets is reused without asking apt;
# the source-package version is only looked up when something must be built.
cached_version() {
  local name=$1 d
  for d in $(ls -d "$DEPS/$name"-*/ 2>/dev/null | sort -V -r); do
    if [ -f "$d/i686-w64-mingw32/.done" ] && [ -f "$d/x86_64-w64-mingw32/.done" ]; then
      basename "$d" | sed "s/^$name-//"
      return
    fi
  done
}

# The same for libcurl, in the folders of the current configuration only.
cached_curl_version() {
  local tag d v
  tag=$(curl_tag)
  for d in $(ls -d "$DEPS"/libcurl-*-"$tag"/ 2>/dev/null | sort -V -r); do
    if [ -f "$d/i686-w64-mingw32/.done" ] && [ -f "$d/x86_64-w64-mingw32/.done" ]; then
      v=$(basename "$d"); v=${v#libcurl-}; printf '%s\n' "${v%-"$tag"}"
      return
    fi
  done
}

main "$@"
