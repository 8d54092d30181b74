#!/bin/sh
# Lists includes that point up a layer (program/ -> app/ -> display/ -> support/); fails if any.
cd "$(dirname "$0")/.." && ! grep -rnE '#include "(program/|app/|display/)' support && ! grep -rnE '#include "(program/|app/)' display && ! grep -rn '#include "program/' app
