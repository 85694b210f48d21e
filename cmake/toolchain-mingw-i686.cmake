# Cross build of the 32-bit Windows DLL (the primary product) and its test programs.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(PELLMORA_MINGW_PREFIX i686-w64-mingw32)
set(PELLMORA_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
