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

wine=""
for candidate in wine64 /usr/lib/wine/wine64 wine; do
  if command -v "$candidate" >/dev/null 2>&1; then
    wine=$(command -v "$candidate")
    break
  fi
done
if [[ -z $wine ]]; then
  echo "run-contract-tests: no wine64 found (Debian package wine64)" >&2
  exit 2
fi
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)

prefix=$(mktemp -d "${TMPDIR:-/tmp}/qx-wine.XXXXXX")
cleanup() {
  timeout 60 "$wineserver" -k >/dev/null 2>&1 || true
  rm -rf "$prefix"
}
trap cleanup EXIT
export WINEPREFIX=$prefix
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# A Japanese system: Wine takes the ANSI code page (932) from the locale, and the Unix file
# names' encoding from the C library's locale, so a Japanese UTF-8 locale is built for this run
# alone (localedef, with the sources of Debian's package locales).
mkdir -p "$prefix/locale"
if ! localedef -i ja_JP -f UTF-8 "$prefix/locale/ja_JP.UTF-8" >/dev/null 2>&1; then
  echo "run-contract-tests: cannot build the ja_JP.UTF-8 locale (Debian package locales)" >&2
  exit 2
fi
# (set for Wine only: this shell cannot switch to a locale it did not start with)
locale_env=(env "LOCPATH=$prefix/locale" LC_ALL=ja_JP.UTF-8)

# Wine's own tools run quietly; only the test program's output is shown.
quiet() { timeout 600 "$@" >/dev/null 2>&1; }

echo "run-contract-tests: Wine $("$wine" --version 2>/dev/null || echo '?'), prefix $prefix"
if ! quiet "${locale_env[@]}" "$wine" wineboot --init; then
  echo "run-contract-tests: wineboot failed" >&2
  exit 2
fi
quiet "$wineserver" -w || true

status=0
for version in $versions; do
  key='HKCU\Software\Wine\AppDefaults\qx_contract_tests.exe'
  if ! quiet "${locale_env[@]}" "$wine" reg add "$key" /v Version /t REG_SZ /d "$version" /f; then
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
  timeout 600 "${locale_env[@]}" QX_EXPECTED_WINDOWS_VERSION="$expected" "$wine" "$exe" --gtest_color=no >"$log" 2>"$prefix/wine-$version.err"
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
