#!/bin/sh
# Builds everything and runs every test: native (plain and with ASan/UBSan, fuzzers included),
# then the Windows builds (x64, and x86) under Wine, then the installer packages built from both.
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
./scripts/setup.sh
. ./scripts/display.sh
. ./scripts/wine-bitness.sh
# Passed, failed or interrupted: no Wine prefix of the run keeps its server and services going.
for arch in x86_64 i686; do
  kestrel_at_exit "tests/windows/end-prefix.sh '$root/build/win-$arch/wineprefix'"
done

failed=0
run() {
  echo "== $*"
  "$@" || failed=$((failed + 1))
}

cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native -j2
run ctest --test-dir build/native --output-on-failure

cmake -S . -B build/native-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTREL_SANITIZE=ON >/dev/null
cmake --build build/native-asan -j2
run ctest --test-dir build/native-asan --output-on-failure

for arch in x86_64 i686; do
  dir=build/win-$arch
  cmake -S . -B $dir -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$arch.cmake \
    -DKESTREL_TOWERLINK_TOOL="$root/build/native/link/tool/towerlink" >/dev/null
  cmake --build $dir -j2
  if [ $arch = i686 ] && [ $kestrel_wine32 = 0 ]; then
    echo "== skipped: the x86 tests (no 32-bit programs run here)"
    continue
  fi
  run ctest --test-dir $dir --output-on-failure
done

if [ $kestrel_wine32 = 0 ]; then
  echo "== skipped: both bitnesses side by side, and the packages (no 32-bit programs run here)"
else
  # Both builds registered side by side in one WoW64 prefix, and each unregistered on its own.
  kestrel_at_exit "tests/windows/end-prefix.sh '$root/build/both-bitness-prefix'"
  run tests/scripts/both-bitness.sh "$root/build/win-x86_64/bin" "$root/build/win-i686/bin" \
    "$root/build/both-bitness-prefix"

  # The installer packages, from both Windows builds, installed and removed under Wine.
  for prefix in regsvr32-prefix x64-prefix x86-prefix; do
    kestrel_at_exit "tests/windows/end-prefix.sh '$root/build/installer/$prefix'"
  done
  cmake -S installer -B build/installer -G Ninja -DKESTREL_WIN64_BUILD="$root/build/win-x86_64" \
    -DKESTREL_WIN32_BUILD="$root/build/win-i686" >/dev/null
  cmake --build build/installer -j2
  run ctest --test-dir build/installer --output-on-failure
fi

echo "test suites failed: $failed"
exit $failed
