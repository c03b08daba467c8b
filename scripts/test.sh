#!/usr/bin/env bash
# The whole test run: installs what is missing, then builds and tests the simulated machine
# (preset native), the same under the address and undefined-behaviour sanitizers (preset
# asan), replays the fuzz targets' corpora and fuzzes each for 15 seconds (preset fuzz,
# QX_FUZZ_SECONDS to change it), cross-builds for Windows (preset mingw) and runs the
# contract suites on the real Windows API under Wine, then QXErs.exe itself under Wine on a
# virtual display (Xvfb): its windows, and a whole erase of a family installed into a private
# Wine prefix; last, the 32-bit QXErs.exe (preset mingw32) and the check of its imports.
# Fails when any step fails; every step runs that can.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${QX_JOBS:-2}

# Debian packages, installed only when missing.
need=()
command -v cmake >/dev/null 2>&1 || need+=(cmake)
command -v g++ >/dev/null 2>&1 || need+=(g++)
[[ -d /usr/src/googletest ]] || need+=(googletest)
# qxers-sim's command line (CLI11) and its JSON (nlohmann-json), headers only.
[[ -f /usr/include/CLI/CLI.hpp ]] || need+=(libcli11-dev)
[[ -f /usr/include/nlohmann/json.hpp ]] || need+=(nlohmann-json3-dev)
command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || need+=(g++-mingw-w64-x86-64)
command -v i686-w64-mingw32-g++-win32 >/dev/null 2>&1 || need+=(g++-mingw-w64-i686)  # the 32-bit QXErs.exe
if ! command -v wine64 >/dev/null 2>&1 && [[ ! -x /usr/lib/wine/wine64 ]]; then need+=(wine64); fi
[[ -f /usr/share/i18n/locales/ja_JP ]] || need+=(locales)  # the Japanese locale Wine runs in
command -v xvfb-run >/dev/null 2>&1 || need+=(xvfb)  # the display Wine's Explorer (Program Manager) needs
command -v xauth >/dev/null 2>&1 || need+=(xauth)
[[ -d /usr/share/fonts/truetype/vlgothic ]] || need+=(fonts-vlgothic)  # Japanese glyphs for QXErs.exe's windows
# The fuzz targets: clang++ 14 with libFuzzer and the sanitizers' runtimes (which clang-14 only
# recommends), and the symbolizer that makes their reports readable.
command -v clang++-14 >/dev/null 2>&1 || need+=(clang-14)
compgen -G "/usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null || need+=(libclang-rt-14-dev)
[[ -x /usr/lib/llvm-14/bin/llvm-symbolizer ]] || need+=(llvm-14)
[[ -f /usr/include/benchmark/benchmark.h ]] || need+=(libbenchmark-dev)  # the benchmark (preset bench)
if [[ ${#need[@]} -gt 0 ]]; then
  echo "test.sh: installing ${need[*]}"
  sudo=""
  if [[ $(id -u) -ne 0 ]]; then
    if ! command -v sudo >/dev/null 2>&1; then
      echo "test.sh: ${need[*]} missing, and neither root nor sudo to install them" >&2
      exit 1
    fi
    sudo=sudo
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

failed=()
logs=$(mktemp -d "${TMPDIR:-/tmp}/qx-test.XXXXXX")
trap 'rm -rf "$logs"' EXIT

# Runs a step with its output in a log; shows the log's end when the step fails.
step() {
  local name=$1
  shift
  echo "== $name"
  if "$@" >"$logs/$name.log" 2>&1; then
    return 0
  fi
  echo "test.sh: $name failed; the end of its output:" >&2
  tail -60 "$logs/$name.log" >&2
  failed+=("$name")
  return 1
}

# GoogleTest's closing lines from a ctest run, and ctest's own.
closing_lines() {
  local build=$1 log=$2
  grep -ahE '^\[==========\] [0-9]+ tests? from|^\[  PASSED  \]|^\[  SKIPPED \]|^\[  FAILED  \]' \
    "$build/Testing/Temporary/LastTest.log" 2>/dev/null || true
  grep -aE 'tests passed|tests failed|Total Test time' "$log" || true
}

for preset in native asan; do
  if step "$preset-configure" cmake --preset "$preset" && step "$preset-build" cmake --build --preset "$preset" -j"$jobs"; then
    step "$preset-test" ctest --preset "$preset" || true
    closing_lines "$root/build/$preset" "$logs/$preset-test.log"
  fi
done

# The fuzz targets (preset fuzz: clang++ 14, libFuzzer, the address and undefined-behaviour
# sanitizers): each replays its committed corpus, then fuzzes from it for a short fixed time.
if step fuzz-configure cmake --preset fuzz && step fuzz-build cmake --build --preset fuzz -j"$jobs"; then
  step fuzz-corpora ctest --preset fuzz || true
  for corpus in fuzz/corpus/*/; do
    target=$(basename "$corpus")
    step "fuzz-$target" fuzz/run.sh "$target" "${QX_FUZZ_SECONDS:-15}" || true
  done
fi

# The benchmark (preset bench, Release) at its small sizes: it must build, and every erase it
# measures must end with the family gone; its timings are not checked here.
if step bench-configure cmake --preset bench && step bench-build cmake --build --preset bench -j"$jobs"; then
  step bench-quick build/bench/bench/qx_bench --quick || true
fi

if step mingw-configure cmake --preset mingw && step mingw-build cmake --build --preset mingw -j"$jobs"; then
  echo "== wine"
  if ! tests/wine/run-contract-tests.sh "$root/build/mingw/tests/qx_contract_tests.exe"; then failed+=(wine); fi
  echo "== wine-ui"
  if ! timeout 900 tests/wine/run-ui-tests.sh "$root/build/mingw"; then failed+=(wine-ui); fi
  echo "== wine-e2e"
  if ! timeout 900 tests/wine/run-erase-e2e.sh "$root/build/mingw"; then failed+=(wine-e2e); fi
  echo "== wine-unattended"
  if ! timeout 900 tests/wine/run-unattended-e2e.sh "$root/build/mingw"; then failed+=(wine-unattended); fi
fi

# The 32-bit QXErs.exe, the one for Windows 95 to 2000: built, and its imports checked
# against what those systems have (not run: that needs a 32-bit Wine). The check is shown to
# refuse a program that imports later functions.
if step mingw32-configure cmake --preset mingw32 && step mingw32-build cmake --build --preset mingw32 -j"$jobs"; then
  step win32-imports tests/win32/check-imports.sh "$root/build/mingw32/app/ui/win32/QXErs.exe" || true
  step win32-imports-refuse bash -c "i686-w64-mingw32-gcc-win32 -o '$logs/newer_import.exe' tests/win32/newer_import.c &&
    ! tests/win32/check-imports.sh '$logs/newer_import.exe'" || true
fi

if [[ ${#failed[@]} -gt 0 ]]; then
  echo "test.sh: FAILED: ${failed[*]}" >&2
  exit 1
fi
echo "test.sh: all passed"
