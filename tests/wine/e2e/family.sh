# The Qorvex family installed for real into the desktop's prefix, beside another vendor's
# software, and the checks the end-to-end runs share. Sourced after wine-desktop.sh, with
# build, here and a script name (me) set; ends the script (status 2) when the family could
# not be installed.
service_exe=$build/tests/qx_test_service.exe
setup_exe=$build/tests/qx_wine_setup.exe
monitor_dll=$build/tests/qx_test_monitor.dll
for f in "$service_exe" "$setup_exe" "$monitor_dll"; do
  [[ -f $f ]] || { echo "$me: $f not found" >&2; exit 2; }
done
cp "$setup_exe" "$work/"
wine_do() { timeout 120 "${jp[@]}" "$wine" "$@"; }
setup() { wine_do "$work/qx_wine_setup.exe" "$@"; }
absent() { ! setup "$@" 2>/dev/null; }
# Wine ends a session's services a second or so after its last program ends, which on a busy
# machine can fall between two commands of this script. A robot that only waits keeps the
# session, and the services with it, to the end (the desktop's cleanup ends it).
robot sleep 3600000 &
# A step of the installation, tried again when it fails; one that keeps failing is named, and
# the checks after it say what is missing (under set -e it would end the script without a word).
installing() {
  local try status
  for try in 1 2 3; do
    "$@" && return 0
    status=$?
    sleep 2
  done
  echo "$me: this step of the installation failed ($status): $*" >&2
}
running() { wine_do sc query "$1" 2>/dev/null | grep RUNNING >/dev/null; }
# A service started, and seen running (it reports START_PENDING first).
start_service() {
  local try poll
  for try in 1 2 3; do
    wine_do sc start "$1" 1200 >/dev/null 2>&1 || true
    for poll in 1 2 3 4 5 6 7 8 9 10; do
      running "$1" && return 0
      sleep 0.5
    done
  done
  echo "$me: the service $1 did not start" >&2
}

c=$WINEPREFIX/drive_c
sys32=$c/windows/system32
x86='Windows NT x86'  # the environment a 32-bit Windows keeps its printers' drivers in

# ---- the family, and the bystanders
cp "$here/e2e/family.reg" "$work/family.reg"
installing wine_do regedit /S 'Z:'"$(echo "$work/family.reg" | tr / '\\')" >/dev/null
mkdir -p "$c/Program Files/Qorvex" "$c/Program Files/Hanakoya"
for f in ZOVPMN.EXE ZOVPQS.DLL Readme.txt UNINST.EXE; do echo "$f" >"$c/Program Files/Qorvex/$f"; done
echo ZOVSRM >"$sys32/ZOVSRM.DLL"
echo setup >"$c/QXSETUP.LOG"
echo memo >"$c/Program Files/Hanakoya/memo.exe"
echo keep >"$c/Program Files/Hanakoya/Readme.txt"
cp "$service_exe" "$c/Program Files/Qorvex/ZOVPMNNT.EXE"
installing wine_do sc create ZOVPMN binpath= 'C:\Program Files\Qorvex\ZOVPMNNT.EXE' >/dev/null
# The services live through the whole script (the test service stops by itself after the
# seconds given): a bystander that stopped halfway would look like the run's doing.
start_service ZOVPMN
cp "$service_exe" "$c/Program Files/Hanakoya/HanaSvc.exe"
installing wine_do sc create HanaSvc binpath= 'C:\Program Files\Hanakoya\HanaSvc.exe' >/dev/null
start_service HanaSvc
# Wine's spooler works in the caller's process whether its service runs or not; on Windows it
# runs, and the program reads its state to choose between the spooler and the registry.
wine_do sc start Spooler >/dev/null || true
cp "$monitor_dll" "$sys32/ZOVNPMON.DLL"
# 64-bit Wine gives a printer the driver of its own environment, "Windows x64"; the program,
# written for 32-bit Windows, removes the drivers of "Windows NT x86": both are installed.
setup monitor "ZOV Network Port" ZOVNPMON.DLL port "ZOV Network Port" "LPTN1:" \
  driver "Qorvex PS Driver" - driver "Qorvex PS Driver" "$x86" \
  driver "Hanakoya Laser Driver" - driver "Hanakoya Laser Driver" "$x86" \
  printer "Qorvex Printer" "Qorvex PS Driver" "LPTN1:" printer "Hanakoya Laser" "Hanakoya Laser Driver" "FILE:" \
  dde "[CreateGroup(Qorvex)]" dde "[CreateGroup(Hanakoya)]" || echo "$me: the printer objects or groups were not made" >&2
install_qxers "$(cat "$here/e2e/QXErs.ini")"

failures=0
failed=()  # the names of the failed checks, said again after the diagnostics at the end
# A pipeline is checked with "grep ... >/dev/null", never "grep -q": under pipefail a grep -q
# that leaves at its first match can kill the writer with SIGPIPE, failing a check that matched.
expect() {
  if eval "$2"; then echo "$me: ok   $1"; else echo "$me: FAIL $1" >&2; failures=$((failures + 1)); failed+=("$1"); fi
}
# Windows' answer passes; Wine's other answer passes only as the difference named.
differs() {
  if eval "$2"; then
    echo "$me: ok   $1"
  elif eval "$3"; then
    echo "$me: ok   $1 (Wine differs: $4)"
  else
    echo "$me: FAIL $1" >&2
    failures=$((failures + 1))
    failed+=("$1")
  fi
}
key() { wine_do reg query "$1" ${2:+/v "$2"} >/dev/null 2>&1; }
service() { wine_do sc query "$1" >/dev/null 2>&1; }
group() { [[ -n $(find "$c" -ipath "*/Start Menu/Programs/$1" -type d 2>/dev/null) ]]; }
log_file() { find "$c" -iname QXErs.log 2>/dev/null | head -1; }
family_printing() { setup hasmonitor "ZOV Network Port" hasport "LPTN1:" hasdriver "Qorvex PS Driver" "$x86" hasprinter "Qorvex Printer"; }
# Checks of absence prove something only when the family was there before.
expect "family installed" 'key "HKLM\SOFTWARE\ZOV\Qorvex" && key "HKCU\Software\ZOV\Qorvex" && running ZOVPMN && [[ -e "$sys32/ZOVSRM.DLL" ]] && group Qorvex'
expect "family monitor, port, driver and printer installed" 'family_printing'
expect "bystanders installed" 'running HanaSvc && setup hasprinter "Hanakoya Laser" hasdriver "Hanakoya Laser Driver" "$x86" && group Hanakoya'
[[ $failures -eq 0 ]] || exit 2
# The end of a script: the failed checks named last, where a log's tail shows them.
end_checks() {
  for name in "${failed[@]}"; do echo "$me: FAIL $name" >&2; done
  [[ $failures -eq 0 ]] && echo "$me: all passed"
  exit $((failures > 0))
}

