#!/bin/sh
# Installs the library into a temporary prefix and builds examples/render.c
# against it twice, through pkg-config and through find_package, then renders
# one second with each (both must link the installed shared library).
# Usage: install_test.sh BUILD_DIR SOURCE_DIR MODULE
set -eu
build=$1 source=$2 module=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --component library --prefix "$work/prefix" >/dev/null
pc=$(find "$work/prefix" -name wembrastel.pc)
export PKG_CONFIG_PATH=$(dirname "$pc")
libdir=$(pkg-config --variable=libdir wembrastel)
cc -std=c99 -Wall -Werror "$source/examples/render.c" $(pkg-config --cflags --libs wembrastel) \
   -Wl,-rpath,"$libdir" -o "$work/render-pc"
cmake -S "$source/examples" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
for program in "$work/render-pc" "$work/cmake/render"; do
  ldd "$program" | grep -q "$work/prefix.*libwembrastel.so.1"
  "$program" "$module" "$work/out.raw" 1
  test "$(wc -c < "$work/out.raw")" -eq $((44100 * 8))
done
echo "installed library: pkg-config and find_package builds render"
