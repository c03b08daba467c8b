#!/usr/bin/env bash
# QXErs.exe run the way deployment tools run it, under Wine, on the family installed for real
# (as tests/wine/run-erase-e2e.sh installs it): a bad command line, a run without QXErs.ini,
# a second instance while another runs, the quiet erase with its result file and log copy,
# then a passive run. Every check reads the exit code, the result file, the log and what is
# left on the machine; the UI robot watches every window the program shows.
#
#   tests/wine/run-unattended-e2e.sh [build/mingw]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build/mingw}
source "$here/wine-desktop.sh"
me=run-unattended-e2e
source "$here/e2e/family.sh"

dlg='#32770'
box="$dlg/65535"
reports=$c/reports
mkdir -p "$reports"
# QXErs.exe with switches, in the foreground: its exit code in $code (whole: the robot starts
# it, as a Unix shell would see only the low 8 bits).
qxers() {
  code=$(cd "$app" && timeout 600 "${jp[@]}" "$wine" "$work/qx_ui_robot.exe" run "C:\QXErs\QXErs.exe $*" 2>/dev/null | tr -d '\r') || code=none
}
# Every visible window QXErs.exe shows from its start to its end, a line each, into $1.
watch_windows() {
  (timeout 700 "${jp[@]}" "$wine" "$work/qx_ui_robot.exe" windows QXErs.exe 600000 >"$1" 2>"$1.err" || true) &
  watcher=$!
}
utf8() { iconv -f CP932 -t UTF-8 "$1" | tr -d '\r'; }
value() { [[ -f $1 ]] && utf8 "$1" | sed -n "s/^$2=//p" | head -1; }
# The log's lines that report a failure ("失敗", not "失敗 or なし": failed or not there), counted per section, as "Key=N" lines in the result
# file's names.
log_failures() {
  utf8 "$1" | awk '
    BEGIN { k["＜削除ファイル＞"]="Files"; k["＜削除レジストリ＞"]="Registry"; k["＜一部削除レジストリ＞"]="PartialRegistry";
            k["＜削除フォルダ＞"]="Folders"; k["＜その他削除＞"]="Others"; k["＜削除ドライバ＞"]="Drivers";
            k["＜SPOOLER停止時の処理＞"]="SpoolerStopped"; k["＜再起動要因＞"]="RestartCauses";
            split("Files Registry PartialRegistry Folders Others Drivers SpoolerStopped RestartCauses", order, " ") }
    /^＜/ { s = k[$0]; next }
    s != "" && /失敗/ && !/失敗 or なし/ { n[s]++ }
    END { for (i = 1; i <= 8; i++) printf "Failures.%s=%d\n", order[i], n[order[i]] }'
}
report_failures() { utf8 "$1" | grep '^Failures\.'; }

# ---- a bad command line: nothing runs, nothing shows
qxers /quiet /frobnicate
expect "an unknown switch exits 87, before anything" '[[ $code == 87 ]] && key "HKLM\SOFTWARE\ZOV\Qorvex"'

# ---- no QXErs.ini: refused, and the result file says so
install_qxers
qxers /quiet '/report:C:\reports\noini.ini'
expect "/quiet without QXErs.ini exits 1619 with a result file" \
  '[[ $code == 1619 && $(value "$reports/noini.ini" ExitCode) == 1619 && $(value "$reports/noini.ini" Result) == -2 ]]'
expect "the refused run changes nothing" 'key "HKLM\SOFTWARE\ZOV\Qorvex" && running ZOVPMN && family_printing'
install_qxers "$(cat "$here/e2e/QXErs.ini")"

# ---- a second instance while the first runs
start_qxers
robot wait "$dlg/1005" "Qorvex Eraser" 60000 || exit 1
qxers /quiet '/report:C:\reports\second.ini'
expect "a second instance exits 1618 with a result file" \
  '[[ $code == 1618 && $(value "$reports/second.ini" ExitCode) == 1618 ]]'
robot press "$dlg/1005" "Qorvex Eraser" 2 wait "$box" "Qorvex Eraser" 20000 press "$box" "Qorvex Eraser" 1 \
  wait "$box" "Qorvex Eraser 中止" 20000 press "$box" "Qorvex Eraser 中止" 1 || exit 1
finished 60 || exit 1

# ---- a what-if run: what the erase would do, with nothing on the machine changed
robot hold 'C:\windows\system32\ZOVSRM.DLL' 600000 &
holder=$!
sleep 2  # the file is held before the runs reach it
# What the machine holds: the whole registry as regedit exports it, every file's bytes and
# every folder (the reports and Wine's temporary folders aside), and what the spooler and the
# service manager list through the API.
export_registry() {
  rm -f "$work/export.reg"
  wine_do regedit /E 'Z:'"$(echo "$work/export.reg" | tr / '\\')" >/dev/null 2>&1 || true
  # Wine stamps its display adapter's keys with the time (DriverDateData) whenever it sets
  # the display up again for a program; Windows does not, and it is none of the run's doing.
  [[ -f $work/export.reg ]] && iconv -f UTF-16 -t UTF-8 "$work/export.reg" | tr -d '\r' | grep -v '^"DriverDateData"='
}
tree() {
  (cd "$c" && find . -path ./reports -prune -o -ipath '*/temp' -prune -o -type f -print0 | sort -z | xargs -0 md5sum
   cd "$c" && find . -path ./reports -prune -o -ipath '*/temp' -prune -o -type d -print | sort)
}
state() {
  export_registry
  tree
  setup list
}
state >"$work/before.txt"
qxers /quiet /whatif '/report:C:\reports\whatif.ini' '/log:C:\reports\whatif.log'
state >"$work/after.txt"
whatif_code=$code
expect "the what-if run exits as the erase will: 3010, a held file waits for the restart" '[[ $whatif_code == 3010 ]]'
expect "the what-if run leaves the machine exactly as it was" \
  'cmp -s "$work/before.txt" "$work/after.txt" || { diff "$work/before.txt" "$work/after.txt" | head -20 >&2; false; }'
whatif=$(utf8 "$reports/whatif.ini")
expect "its result file tells what the erase removes" \
  '[[ $(value "$reports/whatif.ini" ExitCode) == 3010 ]] && grep -qi "^Keys\.[0-9]*=- HKEY_LOCAL_MACHINE\\\\SOFTWARE\\\\ZOV\\\\Qorvex$" <<<"$whatif" &&
   grep -qi "^Files\.[0-9]*=- C:\\\\Program Files\\\\Qorvex\\\\ZOVPMN.EXE$" <<<"$whatif" && grep -q "^Services=1 removed" <<<"$whatif" &&
   grep -q "^Files\.[0-9]*=+ C:\\\\reports\\\\whatif.log$" <<<"$whatif" && grep -q "^Restart=0 removed, 1 added" <<<"$whatif"'
expect "its log copy is written, and the run's own log is not" \
  '[[ -s $reports/whatif.log && -z $(log_file) && -z $(value "$reports/whatif.ini" Log) ]]'

# ---- the quiet erase
tree >"$work/tree-before.txt"
export_registry | grep -i '^\[HKEY_LOCAL_MACHINE\\Software\|^\[HKEY_USERS\\S-' >"$work/keys-before.txt"
watch_windows "$work/quiet-windows.txt"
qxers /quiet '/report:C:\reports\quiet.ini' '/log:C:\reports\quiet.log'
tree >"$work/tree-after.txt"
export_registry | grep -i '^\[HKEY_LOCAL_MACHINE\\Software\|^\[HKEY_USERS\\S-' >"$work/keys-after.txt"
wait "$watcher" || true
kill "$holder" 2>/dev/null || true
wait "$holder" 2>/dev/null || true
log=$(log_file)
echo "$me: the quiet run exited $code; its windows: $(tr '\n' ' ' <"$work/quiet-windows.txt")"
expect "the quiet run exits 3010: a held file waits for the restart" '[[ $code == 3010 ]]'
expect "the quiet run never shows a window" '[[ ! -s $work/quiet-windows.txt ]] && ! grep -q "no process" "$work/quiet-windows.txt.err"'
expect "the result file says done, restart needed and not started" \
  '[[ $(value "$reports/quiet.ini" Result) == 1 && $(value "$reports/quiet.ini" ExitCode) == 3010 && $(value "$reports/quiet.ini" RestartNeeded) == 1 && $(value "$reports/quiet.ini" RestartStarted) == 0 ]]'
expect "the result file counts the log's failure lines per section" \
  '[[ -n $log && "$(report_failures "$reports/quiet.ini")" == "$(log_failures "$log")" ]] || { report_failures "$reports/quiet.ini" >&2; log_failures "$log" >&2; false; }'
expect "the log copy has the log's bytes" '[[ -n $log ]] && cmp -s "$log" "$reports/quiet.log"'
expect "no result file left half-written" '[[ -z $(find "$reports" -name "*.part") ]]'
expect "family gone" '! key "HKLM\SOFTWARE\ZOV\Qorvex" && ! service ZOVPMN && absent hasprinter "Qorvex Printer" && absent hasport "LPTN1:" && ! group Qorvex'
expect "held file still there, pending for the restart" \
  '[[ -e "$sys32/ZOVSRM.DLL" ]] && wine_do reg query "HKLM\SYSTEM\CurrentControlSet\Control\Session Manager" /v PendingFileRenameOperations | grep -i "system32\\\\ZOVSRM.DLL" >/dev/null'
expect "bystanders kept" \
  'key "HKLM\SOFTWARE\Hanakoya\Memo\3.1" && service HanaSvc && [[ -e "$c/Program Files/Hanakoya/memo.exe" ]] && setup hasprinter "Hanakoya Laser" && group Hanakoya'
# What the erase removed, counted as the what-if run counts it: files and folders gone from
# the disk, keys gone from HKEY_LOCAL_MACHINE\Software and the users' hives.
gone() { comm -23 <(sort "$1") <(sort "$2") | wc -l; }
files_gone=$(gone <(grep -v '^\.' "$work/tree-before.txt" | sed 's/^[0-9a-f]*  //') <(grep -v '^\.' "$work/tree-after.txt" | sed 's/^[0-9a-f]*  //'))
folders_gone=$(gone <(grep '^\.' "$work/tree-before.txt") <(grep '^\.' "$work/tree-after.txt"))
keys_gone=$(gone "$work/keys-before.txt" "$work/keys-after.txt")
foretold() { value "$reports/whatif.ini" "$1" | sed 's/ removed.*//'; }
foretold_keys=$(utf8 "$reports/whatif.ini" | grep -ci '^Keys\.[0-9]*=- HKEY_LOCAL_MACHINE\\Software\|^Keys\.[0-9]*=- HKEY_USERS\\S-')
echo "$me: removed by the erase: $files_gone files, $folders_gone folders, $keys_gone keys; foretold: $(foretold Files), $(foretold Folders), $foretold_keys"
expect "the what-if run foretold the files, folders and keys the erase removed" \
  '[[ $files_gone == "$(foretold Files)" && $folders_gone == "$(foretold Folders)" && $keys_gone == "$foretold_keys" ]]'

# ---- a passive run: the banner and the progress, no question, no end message
watch_windows "$work/passive-windows.txt"
qxers /passive '/report:C:\reports\passive.ini'
wait "$watcher" || true
echo "$me: the passive run exited $code; its windows: $(tr '\n' ' ' <"$work/passive-windows.txt")"
expect "the passive run ends by itself and says done" '[[ ($code == 0 || $code == 3010) && $(value "$reports/passive.ini" ExitCode) == "$code" ]]'
expect "the passive run shows the banner and the progress only" \
  'grep -q "^QXErsFrame/" "$work/passive-windows.txt" && grep -q "^#32770/1000 '"'"'Qorvex Eraser 削除中'"'"'" "$work/passive-windows.txt" && ! grep -Eq "^#32770/(1003|1005|65535) " "$work/passive-windows.txt"'

if [[ $failures -gt 0 && -n ${log:-} ]]; then
  echo "$me: QXErs.log:" >&2
  utf8 "$log" >&2
  for f in "$reports"/*.ini; do echo "$me: $f:" >&2; utf8 "$f" >&2; done
fi
end_checks
