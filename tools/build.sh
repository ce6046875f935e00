#!/usr/bin/env bash
# Configures (once) and builds one architecture: tools/build.sh x86|x64 [target...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
arch=$1; shift
case $arch in
  x86) toolchain=$root/cmake/toolchain-i686.cmake ;;
  x64) toolchain=$root/cmake/toolchain-x86_64.cmake ;;
  *) echo "build: unknown architecture $arch" >&2; exit 2 ;;
esac
dir=$root/build/$arch
# One build of a tree at a time: checks that run side by side (ctest -j)
# each make sure their programs are built.
mkdir -p "$root/build"
exec 8>"$root/build/$arch.lock"
flock 8
if [ ! -f "$dir/CMakeCache.txt" ]; then
  echo "build: configuring $arch in build/$arch"
  cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
# Picks up source files added since the last configure.
cmake "$dir" >/dev/null
jobs=$(nproc 2>/dev/null || echo 2)
if [ $# -gt 0 ]; then
  for t in "$@"; do cmake --build "$dir" --target "$t" -j "$jobs"; done
else
  cmake --build "$dir" -j "$jobs"
fi
