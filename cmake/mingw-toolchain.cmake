# The body of the mingw-w64 toolchain files: the including file sets PELLMORA_MINGW_PREFIX
# (i686-w64-mingw32 or x86_64-w64-mingw32) and CMAKE_SYSTEM_PROCESSOR first.
#
# PELLMORA_MINGW_THREADS picks the compiler variant:
#  * posix (default): the test programs, because GoogleTest needs std::mutex, which only the
#    posix-threads variant has;
#  * win32: Pellmora.dll itself (the nested build of cmake/DllBuild.cmake). The posix variant
#    links a threads runtime into whatever it builds, and in a DLL that runtime keeps a TLS slot,
#    memory and handles at every load and imports functions Windows XP lacks.
set(CMAKE_SYSTEM_NAME Windows)

if(NOT DEFINED PELLMORA_MINGW_THREADS)
  set(PELLMORA_MINGW_THREADS posix)
endif()
# try_compile projects read this file again; hand them the same choice.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PELLMORA_MINGW_THREADS)

set(CMAKE_C_COMPILER   ${PELLMORA_MINGW_PREFIX}-gcc-${PELLMORA_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${PELLMORA_MINGW_PREFIX}-g++-${PELLMORA_MINGW_THREADS})
set(CMAKE_RC_COMPILER  ${PELLMORA_MINGW_PREFIX}-windres)
set(PELLMORA_WIDL      ${PELLMORA_MINGW_PREFIX}-widl)
set(PELLMORA_OBJDUMP   ${PELLMORA_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${PELLMORA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
