# Pellmora.dll is built by a nested build of this source tree with the win32-threads variant of
# the same mingw-w64 compiler, while the test programs of the enclosing build keep the posix
# variant (GoogleTest needs std::mutex). See docs/windows-build.md for why.
#
# The enclosing build sees the DLL as the imported target `Pellmora` (its file is what every test
# loads, registers and checks) and builds it through the target `pellmora_dll`.
include(ExternalProject)

set(PELLMORA_DLL_BINARY_DIR ${PROJECT_BINARY_DIR}/dll)
set(PELLMORA_DLL_FILE ${PELLMORA_DLL_BINARY_DIR}/src/module/Pellmora.dll)

ExternalProject_Add(pellmora_dll
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${PELLMORA_DLL_BINARY_DIR}
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
    -DPELLMORA_MINGW_THREADS=win32
    -DPELLMORA_DLL_ONLY=ON
    -DBUILD_TESTING=OFF
    -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
  INSTALL_COMMAND ""
  # The nested build tracks its own sources; ask it every time.
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${PELLMORA_DLL_FILE})

add_library(Pellmora SHARED IMPORTED GLOBAL)
set_target_properties(Pellmora PROPERTIES IMPORTED_LOCATION ${PELLMORA_DLL_FILE} IMPORTED_IMPLIB ${PELLMORA_DLL_FILE})
add_dependencies(Pellmora pellmora_dll)
