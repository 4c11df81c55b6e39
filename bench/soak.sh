#!/usr/bin/env bash
# The soak of tovan: two instances (a serial one on a socat null-modem and a
# printer one on a FIFO) under streaming, churning, line-changing, restarting
# and stalled clients; prints resources before and after and the byte ledger.
# Builds tovan (Release). Options go to bench/soak.py (--seconds N, default 600).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup
build=build/release
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DBUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j2 --target tovan >/dev/null

echo "tovan: $(git rev-parse --short HEAD 2>/dev/null || echo unknown), $(nproc) cores, $(uname -r)"
exec python3 bench/soak.py --tovan "$build/server/ui/tovan" "$@"
