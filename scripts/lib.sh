# Shared helpers for the setup, build and test scripts (sourced, not run).
DEPS=${SALVORA_DEPS:-$HOME/.cache/salvora-deps}
FIXTURE_CACHE=${SALVORA_FIXTURE_CACHE:-$HOME/.cache/salvora-fixtures}

note() { printf '  %s\n' "$*"; }
die() { printf 'error: %s\n' "$*" >&2; exit 1; }

_stage_name=""
_stage_start=0
stage() {
  stage_done
  _stage_name=$1
  _stage_start=$(date +%s)
  printf '==> %s\n' "$1"
}
stage_done() {
  if [ -n "$_stage_name" ]; then
    printf '<== %s: %ss\n' "$_stage_name" "$(( $(date +%s) - _stage_start ))"
    _stage_name=""
  fi
}

# libcurl's configuration (the triplet's toolchain and zlib are added by
# setup.sh). The cache folder of a build carries a hash of this list, so a
# changed configuration builds afresh and never reuses a library made with
# other flags.
CURL_CMAKE_FLAGS=(
  -DCMAKE_BUILD_TYPE=Release
  -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF
  -DHTTP_ONLY=ON
  # TLS from Windows itself: no DLL of ours, the system's trust store.
  -DCURL_ENABLE_SSL=ON -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF
  -DCURL_USE_LIBSSH2=OFF -DUSE_LIBIDN2=OFF -DUSE_NGHTTP2=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF
  -DENABLE_THREADED_RESOLVER=ON -DCURL_DISABLE_LDAP=ON
  # The product's floor is Windows XP: no import of a later system's function.
  -DCURL_TARGET_WINDOWS_VERSION=0x0501
)
curl_tag() { printf '%s\n' "${CURL_CMAKE_FLAGS[@]}" | sha256sum | cut -c1-10; }
curl_prefix() { # source version, triplet
  printf '%s\n' "$DEPS/libcurl-$1-$(curl_tag)/$2"
}

# Prefixes of the cross-built libraries for one target triplet.
dep_prefixes() { # triplet -> sets CURL_PREFIX TINYXML_PREFIX
  [ -f "$DEPS/versions.env" ] || die "dependencies not built; run scripts/setup.sh"
  . "$DEPS/versions.env"
  CURL_PREFIX=$(curl_prefix "$SALVORA_CURL_VERSION" "$1")
  TINYXML_PREFIX="$DEPS/tinyxml-$SALVORA_TINYXML_VERSION/$1"
}
