#!/usr/bin/env bash
# Runs one fuzz target of the fuzz build (preset fuzz) for a fixed time, starting from its
# committed corpus (fuzz/corpus/TARGET, only read) and the inputs earlier runs found
# (build/fuzz/corpus/TARGET, where new ones go). A crash, sanitizer report, leak, timeout or
# broken rule stops the run with a failure; its input is kept in build/fuzz/findings/TARGET/.
#
#   fuzz/run.sh TARGET SECONDS [libFuzzer option...]
#   e.g. fuzz/run.sh discovery 600
#        QX_FUZZ_ORACLE=0 fuzz/run.sh registry_entry 600      (without the checks of Windows' own places)
#        fuzz/run.sh reg_reader 600 -fork=1 -ignore_crashes=1  (go on past crashes, keep them all)
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ $# -lt 2 ]]; then
  echo "usage: fuzz/run.sh TARGET SECONDS [libFuzzer option...]" >&2
  exit 2
fi
target=$1
seconds=$2
shift 2
program=build/fuzz/fuzz/fuzz_$target
if [[ ! -x $program ]]; then
  echo "fuzz/run.sh: $program is not built (cmake --preset fuzz && cmake --build --preset fuzz)" >&2
  exit 2
fi
if [[ ! -d fuzz/corpus/$target ]]; then
  echo "fuzz/run.sh: no corpus fuzz/corpus/$target" >&2
  exit 2
fi
work=build/fuzz/corpus/$target
findings=build/fuzz/findings/$target
mkdir -p "$work" "$findings"
# Readable stacks in the sanitizers' reports, when the symbolizer is not on the PATH.
if [[ -z ${ASAN_SYMBOLIZER_PATH:-} && -x /usr/lib/llvm-14/bin/llvm-symbolizer ]]; then
  export ASAN_SYMBOLIZER_PATH=/usr/lib/llvm-14/bin/llvm-symbolizer
fi
exec "$program" -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$findings/" "$@" "$work" "fuzz/corpus/$target"
