# Sourced: the environment of the project's Wine prefix.
#   wine_env        exports the variables only (cheap; used by wine-run)
#   wine_start      also creates the prefix once, starts Xvfb when there is no
#                   display, and starts the persistent wineserver and Wine's
#                   services (ctest hangs on their pipes when a test starts them)
#   wine_stop       stops the wineserver and the Xvfb this script started
#   wine_windows V  switches to a prefix of its own whose Windows reports
#                   version V (as winecfg names it: winxp, win7, ...), made
#                   on first use beside the project's prefix

_wine_top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

wine_env() {
  export WINEPREFIX=${SALVORA_WINEPREFIX:-$_wine_top/build/wineprefix}
  export WINEARCH=win64
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
  # Code page 936 for the 8-bit program. Wine takes it from LC_ALL even when
  # glibc has no such locale; bash itself would complain on every assignment.
  { export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8; } 2>/dev/null
  # Wine names host files in the C library's character set for that locale;
  # without the compiled locale that is ASCII and every Chinese file name
  # fails. wine_start compiles it once into the build folder.
  if [ -d "$_wine_top/build/locale/zh_CN.UTF-8" ]; then export LOCPATH=$_wine_top/build/locale; fi
  export SALVORA_TOP=$_wine_top
  export SALVORA_ARTIFACTS=${SALVORA_ARTIFACTS:-$_wine_top/build/artifacts}
}

# Prefix settings, one "key|value|type|data" per line, applied whenever they
# change (the marker holds their hash).
_wine_settings() {
  local face
  # Dialog templates ask for the Chinese system faces; Debian has WenQuanYi.
  # Its "Sharp" face carries bitmaps for small sizes: the outline face at
  # 12 px loses thin strokes ("-", "一") under Wine.
  for face in "宋体" "新宋体" "黑体" "SimSun" "NSimSun" "SimHei" "微软雅黑" "Microsoft YaHei" "MS Shell Dlg" "MS Shell Dlg 2" "Tahoma"; do
    echo "HKCU\Software\Wine\Fonts\Replacements|$face|REG_SZ|WenQuanYi Zen Hei Sharp"
  done
  # A crashing test must fail, not wait on a debugger dialog.
  echo 'HKCU\Software\Wine\WineDbg|ShowCrashDialog|REG_DWORD|0'
  echo 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug|Auto|REG_SZ|1'
  echo 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug|Debugger|REG_SZ|false'
  # No window manager runs under Xvfb; a managed window that hides makes
  # Wine wait for one (about 2 s each time). The program draws its own frames.
  echo 'HKCU\Software\Wine\X11 Driver|Managed|REG_SZ|N'
  # The Windows a prefix of wine_windows reports.
  if [ -n "${SALVORA_WINE_VERSION:-}" ]; then echo "HKCU\Software\Wine|Version|REG_SZ|$SALVORA_WINE_VERSION"; fi
}

wine_prefix_create() {
  local marker="$WINEPREFIX/.salvora-ready" want key name type data
  want=$(_wine_settings | cksum | cut -d' ' -f1)
  if [ -f "$marker" ] && [ "$(cat "$marker")" = "$want" ]; then return; fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    # A prefix folder that holds drive links but no c: (left by a run that
    # mapped drives first) makes wineboot wait for ever: start it afresh.
    if [ -d "$WINEPREFIX/dosdevices" ] && [ ! -e "$WINEPREFIX/dosdevices/c:" ]; then
      echo "  wine: removing an unfinished prefix $WINEPREFIX"
      rm -rf "$WINEPREFIX"
    fi
    echo "  wine: creating prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wine wineboot -i </dev/null >/dev/null 2>&1 || true
    wineserver -w
  fi
  echo "  wine: applying prefix settings"
  while IFS='|' read -r key name type data; do
    wine reg add "$key" /v "$name" /t "$type" /d "$data" /f </dev/null >/dev/null 2>&1 ||
      echo "warning: wine reg add $key $name failed" >&2
  done < <(_wine_settings)
  echo "$want" > "$marker"
}

# _x_listening N: a server listens on display N (its abstract socket counts:
# it outlives a deleted socket file or lock).
_x_listening() { grep -qE "[ @]/tmp/\.X11-unix/X$1\$" /proc/net/unix 2>/dev/null; }

wine_display() {
  if [ -n "${DISPLAY:-}" ] && [ -z "${SALVORA_XVFB:-}" ]; then return; fi
  # One display per checkout, so that several work trees can test at once.
  local n=${SALVORA_XVFB_DISPLAY:-$(( 100 + $(printf '%s' "$_wine_top" | cksum | cut -d' ' -f1) % 400 ))}
  local pidf="$_wine_top/build/.xvfb.pid" dispf="$_wine_top/build/.xvfb.display"
  # Our server still runs: on the display it was given last time.
  if [ -f "$pidf" ] && kill -0 "$(cat "$pidf")" 2>/dev/null; then
    [ -f "$dispf" ] && n=$(cat "$dispf")
    if _x_listening "$n"; then export DISPLAY=":$n"; return; fi
    kill "$(cat "$pidf")" 2>/dev/null || true
  fi
  # Two checkouts' paths can hash to the same number. A display that another
  # server listens on is another checkout's: taking it over would cut that
  # one's tests off their display when either stops its server.
  if [ -z "${SALVORA_XVFB_DISPLAY:-}" ]; then
    local tries=0
    while _x_listening "$n" && [ $tries -lt 400 ]; do
      n=$(( (n - 99) % 400 + 100 )); tries=$((tries + 1))
    done
  fi
  export DISPLAY=":$n"
  rm -f "/tmp/.X$n-lock" "/tmp/.X11-unix/X$n"
  Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  echo $! > "$pidf"
  echo "$n" > "$dispf"
  local i
  for i in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  echo "  display: Xvfb on $DISPLAY"
}

wine_locale() {
  local dir="$_wine_top/build/locale"
  [ -d "$dir/zh_CN.UTF-8" ] && return
  command -v localedef >/dev/null || { echo "warning: no localedef: Chinese host file names will fail" >&2; return; }
  mkdir -p "$dir"
  localedef -i zh_CN -f UTF-8 "$dir/zh_CN.UTF-8.tmp" >/dev/null 2>&1 && mv "$dir/zh_CN.UTF-8.tmp" "$dir/zh_CN.UTF-8" ||
    echo "warning: localedef zh_CN.UTF-8 failed: Chinese host file names will fail" >&2
}

wine_start() {
  mkdir -p "$_wine_top/build"
  wine_locale
  wine_env
  mkdir -p "$_wine_top/build" "$SALVORA_ARTIFACTS"
  wine_display
  wine_prefix_create
  wineserver -p </dev/null >/dev/null 2>&1 || true
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  # Drive types a test gave a letter (a CD-ROM for the destination checks)
  # must not outlive it: a server that starts again later would give them to
  # the volumes other tests map there.
  wine reg delete 'HKLM\Software\Wine\Drives' /f </dev/null >/dev/null 2>&1 || true
}

wine_windows() { # version
  local base=$WINEPREFIX lock
  export SALVORA_WINE_VERSION=$1
  export WINEPREFIX=$base-$1
  mkdir -p "$(dirname "$WINEPREFIX")"
  # Several runs may ask at once: one makes the prefix, the others wait. Every
  # output goes to a file: the prefix's wineserver and services inherit it and
  # outlive this run.
  exec {lock}>"$WINEPREFIX.lock"
  flock "$lock"
  wine_prefix_create </dev/null >"$WINEPREFIX.log" 2>&1
  flock -u "$lock"
}

wine_stop() {
  wine_env
  wineserver -k 2>/dev/null || true
  local other
  for other in "$WINEPREFIX"-*/; do
    [ -f "$other/system.reg" ] && WINEPREFIX=${other%/} wineserver -k 2>/dev/null || true
  done
  if [ -f "$_wine_top/build/.xvfb.pid" ]; then
    kill "$(cat "$_wine_top/build/.xvfb.pid")" 2>/dev/null || true
    rm -f "$_wine_top/build/.xvfb.pid" "$_wine_top/build/.xvfb.display"
  fi
}
