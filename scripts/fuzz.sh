#!/usr/bin/env bash
# Builds the fuzzer with clang and runs it for the given number of seconds (default 60) on a
# seed corpus written by the .im builder. Any finding fails the run; its input is kept in
# build-fuzz/findings/ so that it can become a regression test.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
dir=build-fuzz
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DISOLUMEN_FUZZ=ON -DISOLUMEN_TESTS=OFF -DISOLUMEN_TOOLS=OFF \
  >/dev/null
cmake --build "$dir" --target fuzz_imfile makecorpus
rm -rf "$dir/corpus" && mkdir -p "$dir/corpus" "$dir/findings"
"$dir/tools/fuzz/makecorpus" "$dir/corpus"
QT_QPA_PLATFORM=offscreen "$dir/tools/fuzz/fuzz_imfile" -max_total_time="$seconds" \
  -max_len=300000 -rss_limit_mb=4096 -artifact_prefix="$dir/findings/" -print_final_stats=1 \
  "$dir/corpus"
