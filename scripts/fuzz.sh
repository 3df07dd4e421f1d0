#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UndefinedBehaviorSanitizer into
# build-fuzz/ (or $RV_FUZZ_BUILD_DIR) and runs each for SECONDS (default 60), starting from its
# seeds, its regressions and the matching files of tests/data. New inputs collect in
# build-fuzz/fuzz-corpus/NAME; a crashing or hanging input is written to
# build-fuzz/fuzz-artifacts/NAME/ and the script goes on with the next target and fails at the
# end. RV_FUZZ_TARGETS limits the run to some targets (for example "frame metafile").
# Needs clang and its runtime: apt-get install clang libclang-rt-14-dev.
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${RV_FUZZ_BUILD_DIR:-$root/build-fuzz}
targets=${RV_FUZZ_TARGETS:-frame cineon metafile openexr ini playlist cmdline cropresample msgpipe}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DRV_FUZZ=ON -DRV_BUILD_TESTS=OFF -DRV_BUILD_BENCH=OFF >/dev/null
names=()
for t in $targets; do names+=("fuzz_$t"); done
cmake --build "$build" -j "$(nproc)" --target "${names[@]}"

export QT_QPA_PLATFORM=offscreen
# Leaks are reported at the end of each run; the font cache is suppressed by the targets.
failed=()
for t in $targets; do
  corpus=$build/fuzz-corpus/$t
  artifacts=$build/fuzz-artifacts/$t
  mkdir -p "$corpus" "$artifacts"
  mapfile -t seeds < "$build/fuzz-bin/fuzz_$t.corpus"
  existing=()
  for s in "${seeds[@]}"; do [ -d "$s" ] && existing+=("$s"); done
  echo "== $t: $seconds s"
  # Pictures may legitimately take up to 2 GB; a frame must decode within 10 s. The OpenEXR
  # target decodes at most 4 M pixels, so anything near a gigabyte there is a size bomb.
  limit=2300
  [ "$t" = openexr ] && limit=512
  if ! "$build/fuzz-bin/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=3072 \
      -malloc_limit_mb="$limit" -print_final_stats=1 -artifact_prefix="$artifacts/" \
      "$corpus" "${existing[@]}"; then
    failed+=("$t")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "Findings in: ${failed[*]} (see $build/fuzz-artifacts)"
  exit 1
fi
