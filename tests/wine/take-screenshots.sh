#!/usr/bin/env bash
# Photographs QXErs.exe under Wine on a virtual X display (Xvfb): the banner with the
# confirmation, the driver choice, the progress and the end message, into docs/ as PNG.
# Debian 12's wine64, xvfb, fonts-vlgothic and locales, and python3 for the PNG files.
#
#   tests/wine/take-screenshots.sh [build/mingw] [docs]
#
# The run happens in a private Wine prefix (removed afterwards) with a QXErs.ini that
# selects nothing to delete, so it changes nothing but the spooler's restart.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build/mingw}
docs=${2:-$root/docs}
exe=$build/app/ui/win32/QXErs.exe
robot=$build/tests/qx_ui_robot.exe
for f in "$exe" "$robot"; do
  [[ -f $f ]] || { echo "take-screenshots: $f not found; build it with: cmake --preset mingw && cmake --build --preset mingw" >&2; exit 2; }
done
wine=$(command -v wine64 || command -v /usr/lib/wine/wine64 || command -v wine) || { echo "take-screenshots: no wine64" >&2; exit 2; }
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
command -v Xvfb >/dev/null || { echo "take-screenshots: no Xvfb (Debian package xvfb)" >&2; exit 2; }
command -v python3 >/dev/null || { echo "take-screenshots: no python3" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/qx-shots.XXXXXX")
xvfb_pid=""
cleanup() {
  timeout 60 "$wineserver" -k >/dev/null 2>&1 || true
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A display of its own, the size of a period screen.
for n in $(seq 90 130); do
  [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  break
done
[[ -n $xvfb_pid ]] || { echo "take-screenshots: no free display" >&2; exit 2; }
sleep 1

export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$work/locale"
localedef -i ja_JP -f UTF-8 "$work/locale/ja_JP.UTF-8" >/dev/null 2>&1 ||
  { echo "take-screenshots: cannot build the ja_JP.UTF-8 locale (Debian package locales)" >&2; exit 2; }
jp=(env "LOCPATH=$work/locale" LC_ALL=ja_JP.UTF-8)
quiet() { timeout 300 "$@" >/dev/null 2>&1; }

quiet "${jp[@]}" "$wine" wineboot --init || { echo "take-screenshots: wineboot failed" >&2; exit 2; }
quiet "$wineserver" -w || true
# Windows 2000, and the Japanese Windows fonts played by VL Gothic.
quiet "${jp[@]}" "$wine" reg add 'HKCU\Software\Wine\AppDefaults\QXErs.exe' /v Version /t REG_SZ /d win2k /f
for face in "ＭＳ Ｐゴシック" "ＭＳ ゴシック" "MS Shell Dlg" "MS UI Gothic"; do
  quiet "${jp[@]}" "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /t REG_SZ /d "VL PGothic" /f
done

# Without a window manager Wine would draw no captions: a Wine desktop of the screen's size
# draws them as Windows does.
quiet "${jp[@]}" "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f
quiet "${jp[@]}" "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 1024x768 /f

app="$WINEPREFIX/drive_c/QXErs"
mkdir -p "$app"
cp "$exe" "$app/"
printf '[ENVIRONMENT]\r\nAP=QXERASER\r\nSUPPORTOS=95N1N42K\r\nLOG=1\r\nDELFLG=000\r\nDEFAULT_DELPRINTER=0\r\n' >"$app/QXErs.ini"
cp "$robot" "$work/"

( cd "$app" && timeout 300 "${jp[@]}" "$wine" 'C:\QXErs\QXErs.exe' >/dev/null 2>&1 ) &
app_pid=$!

robot() { timeout 120 "${jp[@]}" "$wine" "$work/qx_ui_robot.exe" "$@"; }
dlg='#32770'
robot wait "$dlg" "Qorvex Eraser" 60000 sleep 500 shot "$work/confirm.bmp" press "$dlg" "Qorvex Eraser" 1
robot wait "$dlg" "ドライバ削除処理の選択" 20000 sleep 300 shot "$work/drivers.bmp" press "$dlg" "ドライバ削除処理の選択" 1
robot wait "$dlg" "Qorvex Eraser" 20000 press "$dlg" "Qorvex Eraser" 1 wait "$dlg" "Qorvex Eraser 削除中" 20000 shot "$work/progress.bmp"
robot wait "$dlg" "Qorvex Eraser 終了" 120000 sleep 300 shot "$work/end.bmp" press "$dlg" "Qorvex Eraser 終了" 1
wait "$app_pid" || true

mkdir -p "$docs"
python3 - "$work" "$docs" <<'PY'
import struct, sys, zlib
work, docs = sys.argv[1], sys.argv[2]
for name in ("confirm", "drivers", "progress", "end"):
    data = open(f"{work}/{name}.bmp", "rb").read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):  # bottom-up BGR to top-down RGB
        row = data[offset + y * stride: offset + y * stride + width * 3]
        rgb = bytearray(width * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = row[2::3], row[1::3], row[0::3]
        rows.append(b"\0" + bytes(rgb))
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
    open(f"{docs}/screenshot-{name}.png", "wb").write(png)
    print(f"take-screenshots: {docs}/screenshot-{name}.png")
PY
