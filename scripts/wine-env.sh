# Sourced: the environment of the project's Wine prefix.
#   wine_env        exports the variables only (cheap; used by wine-run)
#   wine_start      also creates the prefix once, starts Xvfb when there is no
#                   display, and starts the persistent wineserver and Wine's
#                   services (ctest hangs on their pipes when a test starts them)
#   wine_stop       stops the wineserver and the Xvfb this script started

_wine_top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

wine_env() {
  export WINEPREFIX=${SALVORA_WINEPREFIX:-$_wine_top/build/wineprefix}
  export WINEARCH=win64
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
  # Code page 936 for the 8-bit program. Wine takes it from LC_ALL even when
  # glibc has no such locale; bash itself would complain on every assignment.
  { export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8; } 2>/dev/null
  # Wine names host files in the locale's character set: without the
  # zh_CN.UTF-8 locale that is ASCII, and no Chinese file name can be made
  # (a copy-out of a Chinese name fails with "path not found"). Build the
  # locale once where glibc finds it.
  if [ -z "${LOCPATH:-}" ] && ! locale -a 2>/dev/null | grep -qix 'zh_CN\.utf-\?8'; then
    local loc=${XDG_CACHE_HOME:-$HOME/.cache}/salvora-locale
    if [ ! -d "$loc/zh_CN.UTF-8" ]; then
      local tmp="$loc/.tmp.$$"
      mkdir -p "$tmp"
      localedef -i zh_CN -f UTF-8 "$tmp/zh_CN.UTF-8" >/dev/null 2>&1 && mv -T "$tmp/zh_CN.UTF-8" "$loc/zh_CN.UTF-8" 2>/dev/null
      rm -rf "$tmp"
    fi
    [ -d "$loc/zh_CN.UTF-8" ] && export LOCPATH=$loc
  fi
  export SALVORA_TOP=$_wine_top
  export SALVORA_ARTIFACTS=${SALVORA_ARTIFACTS:-$_wine_top/build/artifacts}
}

_wine_reg() { wine reg add "$@" /f >/dev/null 2>&1 || echo "warning: wine reg add $* failed" >&2; }

wine_prefix_create() {
  if [ -f "$WINEPREFIX/.salvora-ready" ]; then return; fi
  echo "  wine: creating prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wine wineboot -i </dev/null >/dev/null 2>&1 || true
  wineserver -w
  # Dialog templates ask for the Chinese system faces; Debian has WenQuanYi.
  local face
  for face in "宋体" "新宋体" "黑体" "SimSun" "NSimSun" "SimHei" "MS Shell Dlg" "MS Shell Dlg 2" "Tahoma"; do
    _wine_reg 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /t REG_SZ /d "WenQuanYi Zen Hei"
  done
  # A crashing test must fail, not wait on a debugger dialog.
  _wine_reg 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
  _wine_reg 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /t REG_SZ /d 1
  _wine_reg 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /t REG_SZ /d "false"
  wineserver -w
  touch "$WINEPREFIX/.salvora-ready"
}

wine_display() {
  if [ -n "${DISPLAY:-}" ] && [ -z "${SALVORA_XVFB:-}" ]; then return; fi
  # One display per checkout, so that several work trees can test at once.
  local n=${SALVORA_XVFB_DISPLAY:-$(( 100 + $(printf '%s' "$_wine_top" | cksum | cut -d' ' -f1) % 400 ))}
  export DISPLAY=":$n"
  local pidf="$_wine_top/build/.xvfb.pid"
  if [ -e "/tmp/.X11-unix/X$n" ] && [ -f "$pidf" ] && kill -0 "$(cat "$pidf")" 2>/dev/null; then return; fi
  rm -f "/tmp/.X$n-lock" "/tmp/.X11-unix/X$n"
  Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  echo $! > "$pidf"
  local i
  for i in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  echo "  display: Xvfb on $DISPLAY"
}

wine_start() {
  wine_env
  mkdir -p "$_wine_top/build" "$SALVORA_ARTIFACTS"
  wine_display
  wine_prefix_create
  wineserver -p </dev/null >/dev/null 2>&1 || true
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

wine_stop() {
  wine_env
  wineserver -k 2>/dev/null || true
  if [ -f "$_wine_top/build/.xvfb.pid" ]; then
    kill "$(cat "$_wine_top/build/.xvfb.pid")" 2>/dev/null || true
    rm -f "$_wine_top/build/.xvfb.pid"
  fi
}
