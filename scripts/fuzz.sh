#!/usr/bin/env bash
# Builds the fuzzers with clang and runs each for the given number of seconds (default 60): the
# .im reader on a seed corpus written by the .im builder, then the expansion of compressed
# acquisitions on those seeds compressed by the command-line tools. Any finding fails the run;
# its input is kept in build-fuzz/findings/ so that it can become a regression test.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
dir=build-fuzz
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DISOLUMEN_FUZZ=ON -DISOLUMEN_TESTS=OFF -DISOLUMEN_TOOLS=OFF \
  >/dev/null
cmake --build "$dir" --target fuzz_imfile fuzz_archive makecorpus
rm -rf "$dir/corpus" "$dir/corpus-archive"
mkdir -p "$dir/corpus" "$dir/corpus-archive" "$dir/findings"
"$dir/tools/fuzz/makecorpus" "$dir/corpus"
for seed in classic.im short.im; do
  in="$dir/corpus/$seed" out="$dir/corpus-archive/$seed"
  gzip -c "$in" >"$out.gz"; bzip2 -c "$in" >"$out.bz2"; xz -c "$in" >"$out.xz"
  zstd -qc "$in" >"$out.zst"; zip -qj "$out.zip" "$in"
done
for fuzzer in imfile archive; do
  corpus="$dir/corpus"
  [ "$fuzzer" = archive ] && corpus="$dir/corpus-archive"
  QT_QPA_PLATFORM=offscreen "$dir/tools/fuzz/fuzz_$fuzzer" -max_total_time="$seconds" \
    -max_len=300000 -rss_limit_mb=4096 -artifact_prefix="$dir/findings/" -print_final_stats=1 \
    "$corpus"
done
