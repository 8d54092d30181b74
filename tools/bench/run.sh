#!/bin/sh
# Runs the benchmarks of a release build: tools/bench/run.sh <build dir>
set -eu
build=${1:-build}
bench="$build/tools/bench/wordtap_bench"
[ -x "$bench" ] || { echo "no $bench: configure with -DWORDTAP_BENCH=ON" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
list="$work/words.txt"
"$bench" generate "$list" 1000000

# Best of five, in microseconds, of `wc -l` on the same file (page cache
# warm); the figure includes starting wc, as a shell user would see it.
best=""
for round in 1 2 3 4 5; do
    start=$(date +%s%N)
    wc -l "$list" >/dev/null
    end=$(date +%s%N)
    took=$(( (end - start) / 1000 ))
    if [ -z "$best" ] || [ "$took" -lt "$best" ]; then best=$took; fi
done
wc_ms=$(awk -v us="$best" 'BEGIN { printf "%.1f", us / 1000 }')
bytes=$(wc -c < "$list")
echo "wc -l: $(awk -v b="$bytes" 'BEGIN { printf "%.1f", b / 1e6 }') MB in $wc_ms ms"

read_line=$("$bench" read "$list" 3)
echo "$read_line"
read_ms=$(echo "$read_line" | sed -n 's/.* in \([0-9.]*\) ms.*/\1/p')
echo "read time / wc -l time: $(awk -v r="$read_ms" -v w="$wc_ms" 'BEGIN { printf "%.1f", r / w }')"

# The same words saved as UTF-16, decoded to UTF-8 as they are read.
"$bench" generate "$work/words-utf16.txt" 1000000 utf16
echo "UTF-16 $("$bench" read "$work/words-utf16.txt" 3)"

"$bench" shuffle 1000000 3

text_bench="$build/tools/bench/wordtap_text_bench"
if [ -x "$text_bench" ]; then "$text_bench" 1000; fi
