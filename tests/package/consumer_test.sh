#!/bin/sh
# The installed files as a user gets them, in one of two ways: MODE install
# runs cmake --install into a temporary prefix and checks the list of files;
# MODE deb builds the Debian package with cpack, checks its computed
# dependencies, unpacks it with dpkg -x and checks the man page, the
# library's SONAME and the bash completion. Either way the program must run
# and examples/api must build against the files as a user would: with CMake
# (find_package, shared and static library) and with pkg-config (shared, and
# a fully static C program); every example must print the same verdicts,
# model and failed assumptions.
# Usage: consumer_test.sh SOURCE_DIR BUILD_DIR CMAKE LIBDIR LIBRARY_BUILT(1/0) MODE CPACK
set -eu
src=$1 build=$2 cmake=$3 libdir=$4 mode=$6 cpack=$7
skip() { echo "skipped: $1"; exit 77; }
[ "$5" = 1 ] || skip "this build has no installable library (QUELT_LIBRARY is OFF, the default with sanitizers)"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "$1"; exit 1; }
man=
[ -f "$build/man/quelt.1" ] && man=./share/man/man1/quelt.1

if [ "$mode" = deb ]; then
  [ -n "$man" ] || skip "no man page in this build (help2man was not found)"
  command -v dpkg-shlibdeps >/dev/null || skip "no dpkg-shlibdeps (Debian: dpkg-dev)"
  "$cpack" -G DEB -B "$tmp/deb" --config "$build/CPackConfig.cmake" >/dev/null
  deb=$(ls "$tmp"/deb/quelt_*.deb)
  case $deb in */quelt_[0-9]*.[0-9]*_$(dpkg --print-architecture).deb) ;; *) fail "package named $deb" ;; esac
  depends=$(dpkg-deb -f "$deb" Depends)
  case $depends in *libc6*libstdc++6*) ;; *) fail "Depends: $depends" ;; esac
  dpkg -x "$deb" "$tmp/root"
  prefix=$tmp/root/usr libdir=lib
  man -l "$prefix/$man" | grep -q '^EXIT STATUS' || fail "man -l: no EXIT STATUS section"
  man -l "$prefix/$man" | grep -q -- '--dimacs-stdin' || fail "man -l: no --dimacs-stdin"
  readelf -d "$prefix/lib/libquelt.so.1" | grep -q 'SONAME.*\[libquelt\.so\.1\]' || fail "no SONAME libquelt.so.1"
  completed=$(bash -c '. "$1"; COMP_WORDS=(quelt --proof-t --dim); for COMP_CWORD in 1 2; do
    COMPREPLY=(); _quelt; echo "${COMPREPLY[*]}"; done' sh "$prefix/share/bash-completion/completions/quelt")
  [ "$completed" = "--proof-text
--dimacs --dimacs-stdin" ] || fail "completion offered: $completed"
else
  prefix=$tmp/prefix
  "$cmake" --install "$build" --prefix "$prefix"
  actual=$(cd "$prefix" && find . ! -type d | sed 's/QueltTargets-[a-z]*\.cmake/QueltTargets-CONFIG.cmake/' | sort)
  expected=$(sort <<END
./bin/quelt
./include/quelt/ipasir.h
./include/quelt/quelt.hpp
./$libdir/cmake/Quelt/QueltConfig.cmake
./$libdir/cmake/Quelt/QueltConfigVersion.cmake
./$libdir/cmake/Quelt/QueltTargets-CONFIG.cmake
./$libdir/cmake/Quelt/QueltTargets.cmake
./$libdir/libquelt.a
./$libdir/libquelt.so
./$libdir/libquelt.so.1
./$libdir/libquelt.so.1.0
./$libdir/pkgconfig/quelt.pc
./share/bash-completion/completions/quelt
$man
END
)
  [ "$actual" = "$(echo "$expected" | grep .)" ] || { printf 'installed:\n%s\nexpected:\n%s\n' "$actual" "$expected"; exit 1; }
  # The distributed program, where it was built, is a component of its own.
  if [ -x "$build/quelt-mpi" ]; then
    "$cmake" --install "$build" --prefix "$tmp/mpi" --component mpi
    mpi=$(cd "$tmp/mpi" && find . ! -type d)
    [ "$mpi" = ./bin/quelt-mpi ] || fail "the mpi component installed: $mpi"
  fi
fi
"$prefix/bin/quelt" --version | grep -q '^c Quelt' || fail "quelt --version printed no version"

# The shared library exports the two public interfaces and nothing else.
leaked=$(nm -DC --defined-only "$prefix/$libdir/libquelt.so" |
  grep -Ev ' (ipasir_[a-z_]+|quelt::api::.*|(typeinfo|typeinfo name|vtable) for quelt::api::.*)$' || true)
[ -z "$leaked" ] || { printf 'exported beyond the interface:\n%s\n' "$leaked"; exit 1; }

cp -r "$src/examples/api" "$tmp/api"
"$cmake" -S "$tmp/api" -B "$tmp/cmake" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release
"$cmake" --build "$tmp/cmake"
PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig make -C "$tmp/api"

common="assuming -1: satisfiable
model: -1 2 3
assuming -1 -2: unsatisfiable
failed: -1 -2"
status=0
# check PROGRAM SHARED EXPECTED: SHARED says whether it must load libquelt.so.1.
check() {
  out=$("$1" 2>&1) || { echo "$1 exited with $?"; status=1; }
  if [ "$out" != "$3" ]; then
    printf '%s printed:\n%s\nexpected:\n%s\n' "$1" "$out" "$3"; status=1
  fi
  if readelf -d "$1" | grep -q 'NEEDED.*libquelt\.so\.1'; then needs=yes; else needs=no; fi
  [ "$needs" = "$2" ] || { echo "$1: loads libquelt.so.1: $needs, expected $2"; status=1; }
}
check "$tmp/cmake/quelt_example" yes "$common
Parameter sp-first-restart out of range.
Allowed range [10,10000] (inclusive)"
check "$tmp/cmake/ipasir_example" yes "$common"
check "$tmp/cmake/ipasir_example_static" no "$common"
check "$tmp/api/ipasir_example" yes "$common"
check "$tmp/api/ipasir_example_static" no "$common"
exit $status
