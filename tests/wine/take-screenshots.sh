#!/usr/bin/env bash
# Photographs QXErs.exe under Wine on a virtual X display (Xvfb): the banner with the
# confirmation, the driver choice, the progress and the end message, into docs/ as PNG.
# Needs Debian 12's wine64, xvfb, fonts-vlgothic and locales, and python3 for the PNG files.
#
#   tests/wine/take-screenshots.sh [build/mingw] [docs]
#
# The run happens in a private Wine prefix (removed afterwards) with a QXErs.ini that names
# a family this prefix does not hold: every stage runs and finds nothing to delete. The
# progress is photographed once the bar stands partway.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build/mingw}
docs=${2:-$root/docs}
command -v python3 >/dev/null || { echo "take-screenshots: no python3" >&2; exit 2; }
source "$here/wine-desktop.sh"

install_qxers "$(cat "$here/e2e/QXErs.ini")"
start_qxers
dlg='#32770'
robot wait "$dlg/1005" "Qorvex Eraser" 60000 sleep 500 shot "$work/confirm.bmp" press "$dlg/1005" "Qorvex Eraser" 1
robot wait "$dlg/1003" "ドライバ削除処理の選択" 20000 sleep 300 shot "$work/drivers.bmp" \
  press "$dlg/1003" "ドライバ削除処理の選択" 1
robot press "$dlg/65535" "Qorvex Eraser" 1 wait "$dlg/1000" "Qorvex Eraser 削除中" 20000 \
  partway "$dlg/1000" "Qorvex Eraser 削除中" 1000 shot "$work/progress.bmp"
robot wait "$dlg/65535" "Qorvex Eraser 終了" 120000 sleep 300 shot "$work/end.bmp" press "$dlg/65535" "Qorvex Eraser 終了" 1
finished 30 || true

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
