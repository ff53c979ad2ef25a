#!/usr/bin/env bash
# Builds trx (installing missing Debian packages first) and runs its demo
# against the bundled sample client. Extra arguments go to `trx demo`.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target trx -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
exec build/default/trx demo "$@"
