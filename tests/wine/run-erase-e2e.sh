#!/usr/bin/env bash
# The real program's whole erase under Wine, driven by the UI robot. A Qorvex family is
# installed into a private prefix for real: registry data (regedit), files, one of them held
# open by another program, the companion service ZOVPMN running as a real service, the port
# monitor "ZOV Network Port" (a monitor library of the test's own) with its port LPTN1:, a
# printer driver (Wine's PostScript driver as its file) and a printer on that port, a Program
# Manager group made through DDE, QXErs.ini beside QXErs.exe. Beside it another vendor's
# printer, driver, service, keys, files and group. A run cancelled at the confirmation and a
# second instance change nothing; the erase itself runs through its dialogs to the end
# message; then the real API is asked what is left.
#
#   tests/wine/run-erase-e2e.sh [build/mingw]
#
# Where Wine answers otherwise than Windows, the check says so ("Wine differs") and takes
# Wine's answer; every other check must hold.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build/mingw}
source "$here/wine-desktop.sh"
me=run-erase-e2e
source "$here/e2e/family.sh"

dlg='#32770'
box="$dlg/65535"
# ---- a second instance refuses to start, and a run cancelled at the confirmation changes nothing
start_qxers
robot wait "$dlg/1005" "Qorvex Eraser" 60000 || exit 1
second_ok=0
( cd "$app" && timeout 60 "${jp[@]}" "$wine" 'C:\QXErs\QXErs.exe' >/dev/null 2>&1 ) && second_ok=1
expect "a second instance ends by itself, showing nothing" \
  '[[ $second_ok == 1 ]] && robot count QXErsFrame "Qorvex Eraser" 1 count "$dlg/1005" "Qorvex Eraser" 1'
robot press "$dlg/1005" "Qorvex Eraser" 2 wait "$box" "Qorvex Eraser" 20000 press "$box" "Qorvex Eraser" 1 \
  wait "$box" "Qorvex Eraser 中止" 20000 press "$box" "Qorvex Eraser 中止" 1 || exit 1
finished 60 || exit 1
expect "a cancelled run changes nothing and writes no log" \
  'key "HKLM\SOFTWARE\ZOV\Qorvex" && running ZOVPMN && family_printing && [[ -e "$c/QXSETUP.LOG" && -z $(log_file) ]]'

# ---- the erase, through the dialogs
# Another program holds the status-manager library open for the whole run.
robot hold 'C:\windows\system32\ZOVSRM.DLL' 600000 &
holder=$!
start_qxers
robot wait "$dlg/1005" "Qorvex Eraser" 60000 press "$dlg/1005" "Qorvex Eraser" 1 \
  wait "$dlg/1003" "ドライバ削除処理の選択" 20000 check "$dlg/1003" "ドライバ削除処理の選択" 1004 \
  press "$dlg/1003" "ドライバ削除処理の選択" 1 \
  wait "$box" "Qorvex Eraser" 20000 press "$box" "Qorvex Eraser" 1 \
  wait "$box" "Qorvex Eraser 終了" 600000 || exit 1
said=$(robot text "$box" "Qorvex Eraser 終了" 65535)
said=${said%$'\r'}
echo "run-erase-e2e: the program says: $said"
# No to the restart question: the restart is checked by what waits for it.
if [[ $said == システムの再起動が必要です* ]]; then robot press "$box" "Qorvex Eraser 終了" 7; else robot press "$box" "Qorvex Eraser 終了" 1; fi
finished 60 || echo "run-erase-e2e: the program did not end after its end message" >&2
kill "$holder" 2>/dev/null || true
wait "$holder" 2>/dev/null || true

# ---- what is left
expect "the restart is asked for" '[[ $said == "システムの再起動が必要です。今すぐ再起動しますか？" ]]'
expect "family keys gone" '! key "HKLM\SOFTWARE\ZOV\Qorvex" && ! key "HKCU\Software\ZOV\Qorvex"'
expect "uninstall entry and run value gone" \
  '! key "HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Qorvex 1.2" && ! key "HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run" ZOVPMN'
expect "the product taken out of the shared list" \
  'wine_do reg query "HKLM\SOFTWARE\ZOV\Shared" /v Products | grep "Scriptora,Netbridge" >/dev/null'
expect "files and folder gone" '[[ ! -e "$c/Program Files/Qorvex" && ! -e "$c/QXSETUP.LOG" && ! -e "$sys32/ZOVNPMON.DLL" ]]'
expect "held file still there, pending for the restart" \
  '[[ -e "$sys32/ZOVSRM.DLL" ]] && wine_do reg query "HKLM\SYSTEM\CurrentControlSet\Control\Session Manager" /v PendingFileRenameOperations | grep -i "system32\\\\ZOVSRM.DLL" >/dev/null'
expect "companion service gone" '! service ZOVPMN'
expect "family printer gone" 'absent hasprinter "Qorvex Printer"'
expect "family driver gone" 'absent hasdriver "Qorvex PS Driver" "$x86"'
differs "no family driver left in the system's own environment" 'absent hasdriver "Qorvex PS Driver" -' \
  'setup hasdriver "Qorvex PS Driver" -' \
  "64-bit Wine keeps a printer's own driver under \"Windows x64\", where the program, made for 32-bit Windows, does not look"
expect "product port gone" 'absent hasport "LPTN1:"'
expect "product port monitor gone" 'absent hasmonitor "ZOV Network Port" && ! key "HKLM\SYSTEM\CurrentControlSet\Control\Print\Monitors\ZOV Network Port"'
expect "family group gone" '! group Qorvex'
log=$(log_file)
sections() { iconv -f CP932 -t UTF-8 "$log" | grep -o '^＜[^＞]*＞' | tr '\n' ' '; }
expect "log written with its sections" \
  '[[ -n $log && $(sections) == "＜環境情報＞ ＜削除ファイル＞ ＜削除レジストリ＞ ＜一部削除レジストリ＞ ＜削除フォルダ＞ ＜その他削除＞ ＜削除ドライバ＞ ＜再起動要因＞ " ]] || { echo "  sections: $(sections)" >&2; false; }'
expect "the log names the held file among the restart causes" \
  'iconv -f CP932 -t UTF-8 "$log" | sed -n "/^＜再起動要因＞/,\$p" | grep -i "system32\\\\ZOVSRM.DLL" >/dev/null'
expect "the log names the family's driver as deleted" \
  'iconv -f CP932 -t UTF-8 "$log" | tr -d "\r" | grep -x "Qorvex PS Driver ドライバ削除成功" >/dev/null'
expect "bystander keys kept" \
  'key "HKLM\SOFTWARE\Hanakoya\Memo\3.1" && key "HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Hanakoya Memo" && key "HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run" HanakoyaTray'
expect "bystander files kept" '[[ -e "$c/Program Files/Hanakoya/memo.exe" && -e "$c/Program Files/Hanakoya/Readme.txt" ]]'
expect "bystander service kept" 'service HanaSvc'
expect "bystander printer, drivers and group kept" \
  'setup hasprinter "Hanakoya Laser" hasdriver "Hanakoya Laser Driver" "$x86" hasdriver "Hanakoya Laser Driver" - && group Hanakoya'
if [[ $failures -gt 0 && -n $log ]]; then
  echo "run-erase-e2e: QXErs.log:" >&2
  iconv -f CP932 -t UTF-8 "$log" >&2
  ls -R "$c/Program Files" >&2
fi
end_checks
