#!/bin/sh
# Installs the build into a temporary prefix and builds examples/api against
# it as a user would: with CMake (find_package, shared and static library)
# and with pkg-config (shared, and a fully static C program). Every program
# must print the same verdicts, model and failed assumptions.
# Usage: consumer_test.sh SOURCE_DIR BUILD_DIR CMAKE LIBDIR LIBRARY_BUILT(1/0)
set -eu
src=$1 build=$2 cmake=$3 libdir=$4
if [ "$5" != 1 ]; then
  echo "skipped: this build has no installable library (QUELT_LIBRARY is OFF, the default with sanitizers)"
  exit 77
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix

"$cmake" --install "$build" --prefix "$prefix"
actual=$(cd "$prefix" && find . ! -type d | sed 's/QueltTargets-[a-z]*\.cmake/QueltTargets-CONFIG.cmake/' | sort)
expected=$(sort <<END
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
END
)
[ "$actual" = "$expected" ] || { printf 'installed:\n%s\nexpected:\n%s\n' "$actual" "$expected"; exit 1; }

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
