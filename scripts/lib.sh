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

# Prefixes of the cross-built libraries for one target triplet.
dep_prefixes() { # triplet -> sets CURL_PREFIX TINYXML_PREFIX
  [ -f "$DEPS/versions.env" ] || die "dependencies not built; run scripts/setup.sh"
  . "$DEPS/versions.env"
  CURL_PREFIX="$DEPS/curl-$SALVORA_CURL_VERSION/$1"
  TINYXML_PREFIX="$DEPS/tinyxml-$SALVORA_TINYXML_VERSION/$1"
}
