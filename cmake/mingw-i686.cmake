# Cross build for 32-bit Windows with mingw-w64; ctest runs the results under Wine.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KESTREL_WINE_LIBDIR /usr/lib/i386-linux-gnu/wine/i386-windows)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
