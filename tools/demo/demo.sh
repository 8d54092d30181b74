#!/usr/bin/env bash
# make demo: a scripted wordtap session under Xvfb; screenshots and the
# results file go to demo/, the screenshots also to docs/demo/.
# Usage: tools/demo/demo.sh BUILD_DIR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
exec python3 "$here/demo.py" "${1:?usage: demo.sh BUILD_DIR}"
