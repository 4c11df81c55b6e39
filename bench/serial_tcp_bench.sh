#!/usr/bin/env bash
# Compares tovan with ser2net, the usual Linux tool for this job, on the same
# socat null-modem: throughput both ways (with lost and reordered bytes),
# small-message latency both ways (p50/p99) and 50 clients connecting at once.
# Installs ser2net (Debian package) if it is missing and builds tovan (Release).
# Prints a Markdown table.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup
if ! command -v ser2net >/dev/null 2>&1 && ! [ -x /usr/sbin/ser2net ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends ser2net
fi
ser2net=$(command -v ser2net || echo /usr/sbin/ser2net)

build=build/release
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DBUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j2 --target tovan >/dev/null

echo "tovan: $(git rev-parse --short HEAD 2>/dev/null || echo unknown), $("$ser2net" -v 2>&1 | head -1), $(nproc) cores, $(uname -r)"
exec python3 bench/serial_tcp_bench.py --tovan "$build/server/ui/tovan" --ser2net "$ser2net" "$@"
