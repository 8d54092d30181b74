#!/usr/bin/env bash
# Builds the file-format fuzzers with clang and libFuzzer and runs each for a
# bounded time, seeded from the test fixtures. Exits non-zero on a crash.
#   FUZZ_SECONDS  run time per target (default 30)
#   FUZZ_OUT      build and corpus folder (default build-fuzz)
set -euo pipefail

root="$(cd "$(dirname "$0")/../.." && pwd)"
seconds="${FUZZ_SECONDS:-30}"
out="${FUZZ_OUT:-$root/build-fuzz}"
cxx="${CXX_FUZZ:-$(command -v clang++-14 || command -v clang++)}"

sources=(
  support/files/text_file.cpp
  support/files/settings_file.cpp
  support/files/directory.cpp
  support/files/file_platform_posix.cpp
  support/memory/object_table.cpp
  support/text/conversions.cpp
)

mkdir -p "$out/artifacts"
for target in settings_fuzz line_reader_fuzz; do
  echo "== building $target"
  (cd "$root" && "$cxx" -std=c++20 -g -O1 -fno-omit-frame-pointer \
      -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
      -I "$root" "tests/fuzz/$target.cpp" "${sources[@]}" -o "$out/$target")
done

# Scratch files are rewritten on every input; a memory-backed folder is faster.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi

status=0
run() {
  local target="$1" seeds="$2" max_len="$3"
  local corpus="$out/corpus/$target"
  mkdir -p "$corpus"
  echo "== running $target for ${seconds}s"
  if ! "$out/$target" -max_total_time="$seconds" -max_len="$max_len" -len_control=0 -timeout=10 \
       -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$out/artifacts/$target-" \
       "$corpus" "$seeds"; then
    echo "!! $target found a failure; see $out/artifacts" >&2
    status=1
  fi
}
run settings_fuzz "$root/tests/fixtures/settings" 8192
run line_reader_fuzz "$root/tests/fixtures/lines" 16384
exit $status
