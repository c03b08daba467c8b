# Sourced by the scripts that run QXErs.exe under Wine on a virtual X display: a private
# Wine prefix in a Japanese UTF-8 locale built for the run, an Xvfb display of 1024x768, a
# Wine desktop that draws the windows' captions, VL Gothic in place of the Japanese Windows
# fonts. Everything is removed on exit. Needs: build (the mingw build folder).
#
# Gives: wine, wineserver, work (a scratch folder), jp (the locale's env prefix), quiet,
# app (the Unix path of C:\QXErs), install_qxers INI_TEXT, start_qxers (sets app_pid),
# robot ARGS... (the UI robot), finished SECONDS (the program ended within that time).

exe=$build/app/ui/win32/QXErs.exe
robot_exe=$build/tests/qx_ui_robot.exe
for f in "$exe" "$robot_exe"; do
  if [[ ! -f $f ]]; then
    echo "$(basename "$0"): $f not found; build it with: cmake --preset mingw && cmake --build --preset mingw" >&2
    exit 2
  fi
done
source "$(dirname "${BASH_SOURCE[0]}")/wine-prefix.sh"
command -v Xvfb >/dev/null 2>&1 || { echo "$(basename "$0"): no Xvfb (Debian package xvfb)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/qx-desktop.XXXXXX")
xvfb_pid=""
app_pid=""
desktop_cleanup() {
  [[ -n $app_pid ]] && kill "$app_pid" 2>/dev/null || true
  timeout 60 "$wineserver" -k >/dev/null 2>&1 || true
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap desktop_cleanup EXIT

for n in $(seq 90 130); do
  [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  break
done
[[ -n $xvfb_pid ]] || { echo "$(basename "$0"): no free X display" >&2; exit 2; }

wine_prefix "$work" "$work/prefix"
quiet() { timeout 300 "$@" >/dev/null 2>&1; }

sleep 1  # the display comes up
if ! quiet "${jp[@]}" "$wine" wineboot --init; then
  echo "$(basename "$0"): wineboot failed" >&2
  exit 2
fi
quiet "$wineserver" -w || true
# The program sees Windows 2000; without a window manager a Wine desktop draws the captions.
setting() {
  quiet "${jp[@]}" "$wine" reg add "$1" /v "$2" /t REG_SZ /d "$3" /f ||
    { echo "$(basename "$0"): Wine's setting $1\\$2 could not be made" >&2; exit 2; }
}
setting 'HKCU\Software\Wine\AppDefaults\QXErs.exe' Version win2k
setting 'HKCU\Software\Wine\Explorer' Desktop Default
setting 'HKCU\Software\Wine\Explorer\Desktops' Default 1024x768
for face in "ＭＳ Ｐゴシック" "ＭＳ ゴシック" "MS Shell Dlg" "MS UI Gothic"; do
  setting 'HKCU\Software\Wine\Fonts\Replacements' "$face" "VL PGothic"
done
# The desktop settings are read when the next Wine session starts: this one ends first.
quiet "$wineserver" -w || true
cp "$robot_exe" "$work/"

app="$WINEPREFIX/drive_c/QXErs"
mkdir -p "$app"
cp "$exe" "$app/"

# QXErs.ini beside the program, with CR LF line ends; no argument: no QXErs.ini.
install_qxers() {
  rm -f "$app/QXErs.ini"
  [[ $# -gt 0 ]] && printf '%s' "$1" | sed 's/$/\r/' >"$app/QXErs.ini"
  return 0
}

start_qxers() {
  ( cd "$app" && exec timeout 300 "${jp[@]}" "$wine" 'C:\QXErs\QXErs.exe' >/dev/null 2>&1 ) &
  app_pid=$!
}

# The robot's own limit outlasts every wait its steps ask for (each number counted as
# milliseconds: a few seconds too many for IDs and counts), with two minutes for the rest.
robot() {
  local limit=120 a status=0
  for a in "$@"; do [[ $a =~ ^[0-9]{1,9}$ ]] && limit=$((limit + a / 1000)); done
  timeout "$limit" "${jp[@]}" "$wine" "$work/qx_ui_robot.exe" "$@" || status=$?
  [[ $status -ne 124 ]] || echo "$(basename "$0"): the UI robot was stopped after $limit s: $*" >&2
  return $status
}

# The program (started last) ended within the seconds given.
finished() {
  local waited=0
  while kill -0 "$app_pid" 2>/dev/null; do
    (( waited++ >= $1 * 10 )) && return 1
    sleep 0.1
  done
  app_pid=""
}
