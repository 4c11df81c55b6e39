#!/usr/bin/env bash
# Usage: run_qt_install_test.sh BUILD_DIR CONSUMER_SOURCE_DIR CXX "EXTRA_FLAGS"
# Installs the library components of BUILD_DIR into a fresh prefix and builds a
# libkardo-qt program against it, through pkg-config and find_package.
set -euo pipefail
build_dir=$1
source_dir=$2
cxx=$3
read -r -a extra <<<"${4:-}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
for component in kardo kardo-qt kardo-dev; do
  cmake --install "$build_dir" --prefix "$prefix" --component "$component" >/dev/null
done
test -f "$prefix/include/kardo/qt_folder_chooser.h"

export PKG_CONFIG_PATH
PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name kardo-qt.pc)")
libdir=$(pkg-config --variable=libdir kardo-qt)
test -e "$libdir/libkardo-qt.so"
echo "== pkg-config: $(pkg-config --cflags --libs kardo-qt)"
read -r -a flags <<<"$(pkg-config --cflags --libs kardo-qt)"
"$cxx" -std=c++17 -Wall -Wextra -Werror "${extra[@]}" "$source_dir/consumer_qt.cpp" -o "$work/consumer_pc" \
  "${flags[@]}" -Wl,-rpath,"$libdir"
"$work/consumer_pc"

echo "== find_package(kardo-qt)"
cmake -S "$source_dir" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="${extra[*]}" \
  -DCMAKE_EXE_LINKER_FLAGS="${extra[*]}" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
"$work/cmake-build/consumer_qt"
echo "== all passed"
