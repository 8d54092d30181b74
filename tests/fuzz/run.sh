#!/usr/bin/env bash
# Builds the file-format fuzzers with clang and libFuzzer and runs each for
# FUZZ_SECONDS (default 30), seeded from the fixtures; non-zero on a failure.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
seconds="${FUZZ_SECONDS:-30}"
out="${FUZZ_OUT:-$root/build-fuzz}"
cxx="${CXX_FUZZ:-$(command -v clang++-14 || command -v clang++)}"
sources=(support/files/text_file.cpp support/files/settings_file.cpp support/files/directory.cpp
         support/files/file_platform.cpp support/files/file_platform_posix.cpp support/files/file_failure.cpp
         support/memory/object_table.cpp support/text/conversions.cpp support/text/utf8.cpp support/text/utf16.cpp)
# Scratch files are rewritten on every input: a memory-backed folder is faster.
if [ -z "${TMPDIR:-}" ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
mkdir -p "$out/artifacts"
status=0
for run in "settings_fuzz settings 8192" "line_reader_fuzz lines 16384"; do
  read -r target seeds max_len <<< "$run"
  (cd "$root" && "$cxx" -std=c++20 -g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined \
      -fno-sanitize-recover=undefined -I "$root" "tests/fuzz/$target.cpp" "${sources[@]}" -o "$out/$target")
  mkdir -p "$out/corpus/$target"
  "$out/$target" -max_total_time="$seconds" -max_len="$max_len" -len_control=0 -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$out/artifacts/$target-" "$out/corpus/$target" \
      "$root/tests/fixtures/$seeds" || { echo "!! $target found a failure; see $out/artifacts" >&2; status=1; }
done
exit $status
