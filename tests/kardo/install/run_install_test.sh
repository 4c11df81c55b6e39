#!/usr/bin/env bash
# Usage: run_install_test.sh BUILD_DIR CONSUMER_SOURCE_DIR CXX CC "EXTRA_FLAGS"
# Installs the library components of BUILD_DIR into a fresh prefix, then builds
# the consumer programs against that prefix only and runs them.
set -euo pipefail
build_dir=$1
source_dir=$2
cxx=$3
cc=$4
read -r -a extra <<<"${5:-}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

echo "== install into $prefix"
for component in kardo kardo-dev; do
  cmake --install "$build_dir" --prefix "$prefix" --component "$component" >/dev/null
done
test -f "$prefix/include/kardo/kardo.h"

pc=$(find "$prefix" -name kardo.pc)
test -n "$pc"
export PKG_CONFIG_PATH
PKG_CONFIG_PATH=$(dirname "$pc")
libdir=$(pkg-config --variable=libdir kardo)
echo "== pkg-config: $(pkg-config --cflags --libs kardo)"
# The file must point into the prefix it was installed to.
test "$(cd "$libdir" && pwd -P)" = "$(cd "$(dirname "$(find "$prefix" -name 'libkardo.so' | head -1)")" && pwd -P)"

read -r -a flags <<<"$(pkg-config --cflags --libs kardo)"
"$cxx" -std=c++17 -Wall -Wextra -Werror "${extra[@]}" "$source_dir/consumer.cpp" -o "$work/consumer_pc" \
  "${flags[@]}" -Wl,-rpath,"$libdir"
"$cc" -std=c99 -Wall -Wextra -Werror "${extra[@]}" "$source_dir/consumer_c.c" -o "$work/consumer_c" \
  "${flags[@]}" -Wl,-rpath,"$libdir"
echo "== run the pkg-config builds"
"$work/consumer_pc"
"$work/consumer_c"

echo "== find_package(kardo)"
cmake -S "$source_dir" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_C_COMPILER="$cc" \
  -DCMAKE_CXX_FLAGS="${extra[*]}" -DCMAKE_C_FLAGS="${extra[*]}" \
  -DCMAKE_EXE_LINKER_FLAGS="${extra[*]}" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
echo "== run the CMake builds"
"$work/cmake-build/consumer"
"$work/cmake-build/consumer_c"
echo "== all passed"
