#!/usr/bin/env bash
# make bench-timing: reaction-time fidelity of wordtap under Xvfb.
# Usage: tools/bench-timing/bench_timing.sh BUILD_DIR [--trials N] [--block N] [--busy N] [--also LABEL=PATH]... [--realtime] [--plot PNG] [--taps N] [--taps-only]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:?usage: bench_timing.sh BUILD_DIR [--trials N] [--block N] [--busy N] [--also LABEL=PATH]... [--realtime] [--plot PNG] [--taps N] [--taps-only]}"
shift
exec python3 "$here/bench_timing.py" "$build" "$@"
