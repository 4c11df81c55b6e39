#!/usr/bin/env bash
# Usage: run_package_test.sh BUILD_DIR CONSUMER_SOURCE_DIR CXX CC "EXTRA_FLAGS"
# Builds the Debian packages of BUILD_DIR with CPack, unpacks them into a
# scratch root with dpkg -x and uses them from there only: the programs'
# --help, their manual pages, the library's consumers through pkg-config and
# find_package(kardo). lintian, when installed, must report no errors.
set -euo pipefail
build_dir=$1
source_dir=$2
cxx=$3
cc=$4
read -r -a extra <<<"${5:-}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root="$work/root"
fail() { echo "FAIL: $*" >&2; exit 1; }

echo "== cpack"
(cd "$build_dir" && cpack -G DEB -B "$work/debs" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }

deb() {
  local found=("$work"/debs/"$1"_*.deb)
  [ -f "${found[0]}" ] || fail "no package $1"
  echo "${found[0]}"
}
field() { dpkg-deb --field "$(deb "$1")" "$2"; }

version=$(field tovan Version)
# Dependencies come from dpkg-shlibdeps (the C library at least) and, between
# our own packages, from the component dependencies with the exact version.
for p in tovan libkardo1 kardo-tools; do
  field "$p" Depends | grep -q 'libc6' || fail "$p: no computed dependency on libc6: $(field "$p" Depends)"
done
for p in libkardo-dev kardo-tools; do
  field "$p" Depends | grep -q "libkardo1 (= $version)" || fail "$p does not depend on libkardo1 (= $version)"
done
# The library package declares its soname for the packages built against it.
# (Whole outputs are captured first: grep -q ending a pipe early would fail it.)
shlibs=$(dpkg-deb --ctrl-tarfile "$(deb libkardo1)" | tar -xO ./shlibs)
grep -q '^libkardo 1 libkardo1' <<<"$shlibs" || fail "libkardo1 has no shlibs entry for libkardo.so.1"

mkdir -p "$root"
for f in "$work"/debs/*.deb; do dpkg -x "$f" "$root"; done
usr="$root/usr"

# Each package holds only its own share of the files.
contents() { dpkg-deb --contents "$(deb "$1")" | awk '{print $6}'; }
lib=$(contents libkardo1)
grep -q 'libkardo\.so\.1$' <<<"$lib" || fail "libkardo1 lacks libkardo.so.1"
! grep -Eq 'include/|\.pc$|bin/|\.so$' <<<"$lib" || fail "libkardo1 holds development files or programs"
grep -q 'include/kardo/kardo\.h$' <<<"$(contents libkardo-dev)" || fail "libkardo-dev lacks the headers"
grep -q 'systemd/system/tovan@\.service$' <<<"$(contents tovan)" || fail "tovan lacks its unit"

libdir=$(dirname "$(find "$usr" -name 'libkardo.so.1' | head -1)")
export LD_LIBRARY_PATH="$libdir"
# A sanitizer build's runtime is not the first library of these programs.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:verify_asan_link_order=0:detect_leaks=0"

echo "== the programs' help and their manual pages"
options() { grep -oE -- '--[a-z0-9][a-z0-9-]*' | sort -u; }
# "Exit codes: 0 success, 1 ..., 2 ..." up to the next empty line of the help;
# the ".B N" entries of the page's EXIT STATUS section.
help_codes() { awk '/^Exit codes:/{on=1; sub(/^Exit codes:/, "")} on && /^$/{on=0} on' | tr '\n' ' ' \
  | tr ',' '\n' | sed -nE 's/^ *([0-9]+) .*/\1/p' | sort -u; }
page_codes() { awk '/^\.SH/{on=/EXIT STATUS/; next} on && /^\.B [0-9]+$/{print $2}' | sort -u; }
for program in tovan kardo-reg kardo-card kardo-termsim; do
  [ -x "$usr/bin/$program" ] || fail "$program is not installed"
  help=$("$usr/bin/$program" --help) || fail "$program --help failed"
  page="$usr/share/man/man1/$program.1.gz"
  [ -f "$page" ] || fail "no manual page for $program"
  # The roff source writes a dash as \-; both must name the same options.
  diff <(options <<<"$help") <(gzip -dc "$page" | sed 's/\\-/-/g; s/\\f[BIR]//g' | options) \
    >"$work/options.diff" || { cat "$work/options.diff"; fail "$program: --help and manual page differ in options (< help, > page)"; }
  diff <(help_codes <<<"$help") <(gzip -dc "$page" | page_codes) >"$work/codes.diff" \
    || { cat "$work/codes.diff"; fail "$program: --help and manual page differ in exit codes (< help, > page)"; }
  [ "$(help_codes <<<"$help" | wc -l)" -ge 2 ] || fail "$program --help lists no exit codes"
  count=$(options <<<"$help" | wc -l)
  [ "$count" -gt 1 ] || fail "$program --help names no options"
  echo "$program: $count options and $(help_codes <<<"$help" | wc -l) exit codes alike"
done

echo "== consumers against the unpacked development package"
pc=$(find "$usr" -name kardo.pc | head -1)
[ -n "$pc" ] || fail "no kardo.pc"
export PKG_CONFIG_PATH
PKG_CONFIG_PATH=$(dirname "$pc")
[ "$(cd "$(pkg-config --variable=libdir kardo)" && pwd -P)" = "$(cd "$libdir" && pwd -P)" ] \
  || fail "kardo.pc points outside the unpacked root"
read -r -a flags <<<"$(pkg-config --cflags --libs kardo)"
"$cxx" -std=c++17 -Wall -Wextra -Werror "${extra[@]}" "$source_dir/consumer.cpp" -o "$work/consumer_pc" "${flags[@]}"
"$work/consumer_pc"
cmake -S "$source_dir" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$usr" \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_C_COMPILER="$cc" \
  -DCMAKE_CXX_FLAGS="${extra[*]}" -DCMAKE_C_FLAGS="${extra[*]}" \
  -DCMAKE_EXE_LINKER_FLAGS="${extra[*]}" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
"$work/cmake-build/consumer"

if command -v lintian >/dev/null; then
  echo "== lintian"
  lintian --fail-on error "$work"/debs/*.deb || fail "lintian reports errors"
fi
echo "== all passed"
