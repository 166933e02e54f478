#!/bin/sh
# Builds everything and runs every test: native (plain and with ASan/UBSan, fuzzers included),
# then the Windows builds (x64, and x86) under Wine.
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
./scripts/setup.sh
. ./scripts/display.sh

failed=0
run() {
  echo "== $*"
  "$@" || failed=$((failed + 1))
}

cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native -j2
run ctest --test-dir build/native --output-on-failure

cmake -S . -B build/native-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTREL_SANITIZE=ON \
  -DKESTREL_FUZZ=OFF >/dev/null
cmake --build build/native-asan -j2
run ctest --test-dir build/native-asan --output-on-failure

for arch in x86_64 i686; do
  dir=build/win-$arch
  cmake -S . -B $dir -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$arch.cmake \
    -DKESTREL_TOWERLINK_TOOL="$root/build/native/link/tool/towerlink" >/dev/null
  cmake --build $dir -j2
  run ctest --test-dir $dir --output-on-failure
done

echo "test suites failed: $failed"
exit $failed
