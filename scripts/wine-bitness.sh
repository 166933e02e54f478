# Sourced: whether this machine runs Wine's 32-bit side, which needs a kernel that runs 32-bit
# programs; some virtual machines' kernels leave that out. Where it cannot, every "wine" of the
# caller and its children starts Wine's 64-bit loader (a shim first on PATH), and
# kestrel_wine32 is 0 so that the caller skips what needs 32-bit programs, saying so.
kestrel_wine32=1
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  kestrel_wine32=0
  kestrel_shim="$(pwd)/build/wine64-only"
  mkdir -p "$kestrel_shim"
  printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' \
    >"$kestrel_shim/wine-stable"
  chmod +x "$kestrel_shim/wine-stable"
  ln -sfn wine-stable "$kestrel_shim/wine"
  export PATH="$kestrel_shim:$PATH"
  echo "NOTE: this kernel runs no 32-bit programs: Wine runs its 64-bit side only, and what needs"
  echo "      32-bit programs (the x86 tests, both bitnesses side by side, the packages) is skipped"
fi
