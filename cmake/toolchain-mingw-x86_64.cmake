# Cross build of the 64-bit Windows DLL and its test programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(PELLMORA_MINGW_PREFIX x86_64-w64-mingw32)
set(PELLMORA_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
