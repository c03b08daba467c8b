#!/usr/bin/env bash
# Runs the contract suites on the real Windows API under Wine: Debian's 64-bit Wine, in a
# private prefix made for this run and removed after it, once for each reported Windows version.
#
#   tests/wine/run-contract-tests.sh [path/to/qx_contract_tests.exe]
#
# Exits non-zero when a suite fails or Wine cannot run it.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
exe=${1:-$root/build/mingw/tests/qx_contract_tests.exe}
versions=${QX_WINE_VERSIONS:-"nt40 win2k"}

if [[ ! -f $exe ]]; then
  echo "run-contract-tests: $exe not found; build it with: cmake --preset mingw && cmake --build --preset mingw" >&2
  exit 2
fi

# Program Manager's DDE server is Wine's Explorer, which runs only with an X display: the
# whole run goes inside a virtual one (Debian packages xvfb and xauth).
if [[ -z ${QX_WINE_DISPLAY_READY:-} ]]; then
  if ! command -v xvfb-run >/dev/null 2>&1; then
    echo "run-contract-tests: no xvfb-run found (Debian packages xvfb and xauth)" >&2
    exit 2
  fi
  export QX_WINE_DISPLAY_READY=1
  exec timeout 3600 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

me=run-contract-tests
source "$here/wine-prefix.sh"

prefix=$(mktemp -d "${TMPDIR:-/tmp}/qx-wine.XXXXXX")
cleanup() {
  timeout 60 "$wineserver" -k >/dev/null 2>&1 || true
  rm -rf "$prefix"
}
trap cleanup EXIT
wine_prefix "$prefix" "$prefix"

# Wine's own tools run quietly; only the test program's output is shown.
quiet() { timeout 600 "$@" >/dev/null 2>&1; }

echo "run-contract-tests: Wine $("$wine" --version 2>/dev/null || echo '?'), prefix $prefix"
if ! quiet "${jp[@]}" "$wine" wineboot --init; then
  echo "run-contract-tests: wineboot failed" >&2
  exit 2
fi
quiet "$wineserver" -w || true

status=0
for version in $versions; do
  key='HKCU\Software\Wine\AppDefaults\qx_contract_tests.exe'
  if ! quiet "${jp[@]}" "$wine" reg add "$key" /v Version /t REG_SZ /d "$version" /f; then
    echo "run-contract-tests: cannot set the Windows version $version" >&2
    exit 2
  fi
  echo "run-contract-tests: Windows version $version"
  log="$prefix/contract-$version.log"
  set +e
  # Wine may keep its stderr chatter even with WINEDEBUG off; the program's own output is on stdout.
  case $version in
    nt40) expected=4.0 ;;
    win2k) expected=5.0 ;;
    winxp) expected=5.1 ;;
    *) expected="" ;;
  esac
  timeout 600 "${jp[@]}" QX_EXPECTED_WINDOWS_VERSION="$expected" "$wine" "$exe" --gtest_color=no >"$log" 2>"$prefix/wine-$version.err"
  rc=$?
  set -e
  grep -aE '^\[ WINE DIFF \]|^\[  SKIPPED \]|^\[  FAILED  \]|^\[  PASSED  \]|^\[==========\]' "$log" || true
  if [[ $rc -ne 0 ]]; then
    echo "run-contract-tests: $version failed (exit $rc); full output follows" >&2
    cat "$log" >&2
    tail -20 "$prefix/wine-$version.err" >&2 || true
    status=1
  fi
  # Each version starts on a fresh session: after a whole suite, the next program of the same
  # session found no Program Manager (Wine's Explorer) answering DDE, even after 20 s.
  quiet "$wineserver" -k || true
  quiet "$wineserver" -w || true
done
exit $status
