#!/usr/bin/env bash
# QXErs.exe under Wine on a virtual X display, driven by the UI robot through its real
# windows: the questions behind Cancel, the end messages as the string table has them, a
# second instance that refuses to start, a missing or foreign environment, and a whole run
# with nothing configured to delete, which writes its log.
#
#   tests/wine/run-ui-tests.sh [build/mingw]
#
# Exits non-zero when a case fails or the desktop cannot be set up.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build/mingw}
source "$here/wine-desktop.sh"

dlg='#32770'
box="$dlg/65535"
failures=0

# The text of the message box with that caption, once it is there.
expect_box() {
  local got
  got=$(robot wait "$box" "$1" 60000 text "$box" "$1" 65535) || { echo "  no message box '$1'" >&2; return 1; }
  got=${got%$'\r'}
  [[ $got == "$2" ]] || { echo "  '$1' says '$got', not '$2'" >&2; return 1; }
}
log_file() { find "$WINEPREFIX/drive_c" -iname QXErs.log 2>/dev/null | head -1; }
no_log() { [[ -z $(log_file) ]] || { echo "  a log was written: $(log_file)" >&2; return 1; }; }
set_version() { quiet "${jp[@]}" "$wine" reg add 'HKCU\Software\Wine\AppDefaults\QXErs.exe' /v Version /t REG_SZ /d "$1" /f; }
config=$'[ENVIRONMENT]\nAP=QXERASER\nSUPPORTOS=95N1N42K\nLOG=1\n'

# Cancel asks to quit; Cancel to that returns to the dialog, OK quits with the end message.
cancel_at_each_dialog() {
  install_qxers "$config"
  start_qxers
  robot wait "$dlg/1005" "Qorvex Eraser" 60000 press "$dlg/1005" "Qorvex Eraser" 2 || return 1
  expect_box "Qorvex Eraser" "Qorvex Eraserを終了しますか？" || return 1
  robot press "$box" "Qorvex Eraser" 2 gone "$box" "Qorvex Eraser" 10000 \
    press "$dlg/1005" "Qorvex Eraser" 1 \
    wait "$dlg/1003" "ドライバ削除処理の選択" 20000 press "$dlg/1003" "ドライバ削除処理の選択" 2 || return 1
  expect_box "Qorvex Eraser" "Qorvex Eraserを終了しますか？" || return 1
  robot press "$box" "Qorvex Eraser" 1 || return 1
  expect_box "Qorvex Eraser 中止" "削除処理を中止しました。" || return 1
  robot press "$box" "Qorvex Eraser 中止" 1 || return 1
  finished 30 && no_log
}

# A second start while the first waits at its confirmation ends at once, showing nothing.
second_instance_refused() {
  install_qxers "$config"
  start_qxers
  robot wait "$dlg/1005" "Qorvex Eraser" 60000 || return 1
  ( cd "$app" && timeout 60 "${jp[@]}" "$wine" 'C:\QXErs\QXErs.exe' >/dev/null 2>&1 ) || return 1
  robot count QXErsFrame "Qorvex Eraser" 1 count "$dlg/1005" "Qorvex Eraser" 1 \
    press "$dlg/1005" "Qorvex Eraser" 2 wait "$box" "Qorvex Eraser" 20000 press "$box" "Qorvex Eraser" 1 \
    wait "$box" "Qorvex Eraser 中止" 20000 press "$box" "Qorvex Eraser 中止" 1 || return 1
  finished 30
}

# Without QXErs.ini the driver dialog never opens; on a system it does not list, the worker
# refuses before anything is changed or logged.
environment_refused() {
  install_qxers
  start_qxers
  robot wait "$dlg/1005" "Qorvex Eraser" 60000 press "$dlg/1005" "Qorvex Eraser" 1 || return 1
  expect_box "Qorvex Eraser 中止" "Qorvex Eraserを実行する為に必要な情報がありません。" || return 1
  robot count "$dlg/1003" "ドライバ削除処理の選択" 0 press "$box" "Qorvex Eraser 中止" 1 || return 1
  finished 30 || return 1

  install_qxers $'[ENVIRONMENT]\nAP=QXERASER\nSUPPORTOS=2K\nLOG=1\n'
  set_version nt40
  start_qxers
  robot wait "$dlg/1005" "Qorvex Eraser" 60000 press "$dlg/1005" "Qorvex Eraser" 1 \
    wait "$dlg/1003" "ドライバ削除処理の選択" 20000 press "$dlg/1003" "ドライバ削除処理の選択" 1 \
    wait "$box" "Qorvex Eraser" 20000 press "$box" "Qorvex Eraser" 1 || return 1
  expect_box "Qorvex Eraser 中止" "Qorvex Eraserは本OSではサポートされていません。" || return 1
  robot press "$box" "Qorvex Eraser 中止" 1 || return 1
  set_version win2k
  finished 30 && no_log
}

# The whole run with the drivers chosen too: progress, the end message, the log's kinds.
whole_run() {
  install_qxers "$config"
  start_qxers
  robot wait "$dlg/1005" "Qorvex Eraser" 60000 press "$dlg/1005" "Qorvex Eraser" 1 \
    wait "$dlg/1003" "ドライバ削除処理の選択" 20000 check "$dlg/1003" "ドライバ削除処理の選択" 1004 \
    press "$dlg/1003" "ドライバ削除処理の選択" 1 || return 1
  expect_box "Qorvex Eraser" "処理の途中で中断はできません。継続しますか？" || return 1
  robot press "$box" "Qorvex Eraser" 1 || return 1
  expect_box "Qorvex Eraser 終了" "削除処理が終了しました。" || return 1
  robot count "$dlg/1000" "Qorvex Eraser 削除中" 0 press "$box" "Qorvex Eraser 終了" 1 || return 1
  finished 30 || return 1
  local log
  log=$(log_file)
  [[ -n $log ]] || { echo "  no QXErs.log" >&2; return 1; }
  iconv -f CP932 -t UTF-8 "$log" | grep '^削除種類：Netrova Qorvex Driver' >/dev/null ||
    { echo "  the log's kinds are not all three:" >&2; iconv -f CP932 -t UTF-8 "$log" | head -20 >&2; return 1; }
}

for case in cancel_at_each_dialog second_instance_refused environment_refused whole_run; do
  if "$case"; then
    echo "run-ui-tests: ok   $case"
  else
    echo "run-ui-tests: FAIL $case" >&2
    failures=$((failures + 1))
    [[ -n $app_pid ]] && kill "$app_pid" 2>/dev/null || true
    app_pid=""
    timeout 30 "$wineserver" -k >/dev/null 2>&1 || true
  fi
  rm -f "$(log_file)" 2>/dev/null || true
done
[[ $failures -eq 0 ]] && echo "run-ui-tests: all passed"
exit $((failures > 0))
