# Cross build for 64-bit Windows with mingw-w64; ctest runs the results under Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KESTREL_WINE_LIBDIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
