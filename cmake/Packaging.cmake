# Deployment of Pellmora.dll (Windows builds only):
#  * the side-by-side assembly manifest Pellmora.manifest, written beside the DLL, with which an
#    application uses the class without registration;
#  * the package's public headers, which the examples and the deployment tests build against;
#  * the install rules of the release package: x86/ or x64/ (the DLL, stripped, and its manifest)
#    from each architecture's DLL build, and include/, examples/ and README.txt from the 32-bit
#    build;
#  * the WiX source of the architecture's Windows Installer package, Pellmora.wxs, written beside
#    the manifest by scripts/release.py;
#  * in the 32-bit build, the files common to both architectures. scripts/package.sh installs
#    these components into build/pellmora-<version>.zip and the two .msi files.
#
# The manifest and the WiX source state what the DLL registers, so their identities are read from
# the very files the DLL embeds: the registration scripts and the interface definition. The
# version is the project's. Nothing in them is written twice by hand.
include_guard()

if(NOT TARGET Pellmora)
  return()
endif()

set(PELLMORA_CLASS_SCRIPT ${PROJECT_SOURCE_DIR}/src/module/resources/connection_string.rgs)
set(PELLMORA_INTERFACE_DEFINITION ${PROJECT_SOURCE_DIR}/src/automation/pellmora_lib.idl)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PELLMORA_CLASS_SCRIPT} ${PELLMORA_INTERFACE_DEFINITION})

# _pellmora_match(<text> <regex> <what> <variables>...): the regex's groups into the variables;
# a missing match stops the configuration, naming what was looked for.
function(_pellmora_match text regex what)
  if(NOT text MATCHES "${regex}")
    message(FATAL_ERROR "Packaging: cannot find ${what}")
  endif()
  set(group 0)
  foreach(variable ${ARGN})
    math(EXPR group "${group} + 1")
    set(${variable} "${CMAKE_MATCH_${group}}" PARENT_SCOPE)
  endforeach()
endfunction()

# The identities, from the class script ...
file(READ ${PELLMORA_CLASS_SCRIPT} _pellmora_script)
set(_pellmora_guid "\\{[0-9A-Fa-f-]+\\}")
_pellmora_match("${_pellmora_script}" "ForceRemove (${_pellmora_guid}) = s '([^']*)'"
                "the class key in ${PELLMORA_CLASS_SCRIPT}" PELLMORA_CLSID PELLMORA_CLASS_DESCRIPTION)
_pellmora_match("${_pellmora_script}" "[\t ]ProgID = s '([^']+)'"
                "the ProgID in ${PELLMORA_CLASS_SCRIPT}" PELLMORA_VERSIONED_PROGID)
_pellmora_match("${_pellmora_script}" "VersionIndependentProgID = s '([^']+)'"
                "the version-independent ProgID in ${PELLMORA_CLASS_SCRIPT}" PELLMORA_PROGID)
_pellmora_match("${_pellmora_script}" "ThreadingModel = s '([^']+)'"
                "the threading model in ${PELLMORA_CLASS_SCRIPT}" PELLMORA_THREADING_MODEL)
_pellmora_match("${_pellmora_script}" "'TypeLib' = s '(${_pellmora_guid})'"
                "the type library in ${PELLMORA_CLASS_SCRIPT}" PELLMORA_LIBID)

# ... and from the interface definition, which must agree with the script.
file(READ ${PELLMORA_INTERFACE_DEFINITION} _pellmora_idl)
_pellmora_match("${_pellmora_idl}" "\\[([^]]*)\\][ \t\r\n]*library[ \t]"
                "the library in ${PELLMORA_INTERFACE_DEFINITION}" _pellmora_library)
_pellmora_match("${_pellmora_library}" "uuid\\(([0-9A-Fa-f-]+)\\).*version\\(([0-9]+\\.[0-9]+)\\)"
                "the library's identifier and version" _pellmora_idl_libid PELLMORA_LIBRARY_VERSION)
_pellmora_match("${_pellmora_idl}" "\\[([^]]*)\\][ \t\r\n]*coclass[ \t]"
                "the class in ${PELLMORA_INTERFACE_DEFINITION}" _pellmora_class)
_pellmora_match("${_pellmora_class}" "uuid\\(([0-9A-Fa-f-]+)\\)" "the class identifier" _pellmora_idl_clsid)
_pellmora_match("${_pellmora_idl}" "\\[([^]]*)\\][ \t\r\n]*interface[ \t]+([A-Za-z_0-9]+)"
                "the interface in ${PELLMORA_INTERFACE_DEFINITION}" _pellmora_interface PELLMORA_INTERFACE)
_pellmora_match("${_pellmora_interface}" "uuid\\(([0-9A-Fa-f-]+)\\)" "the interface identifier" _pellmora_iid)
string(TOUPPER "{${_pellmora_iid}}" PELLMORA_IID)
# The description is free text: written into the manifest's XML with its markup characters escaped.
foreach(pair "&;&amp;" "<;&lt;" ">;&gt;" "\";&quot;")
  list(GET pair 0 character)
  list(GET pair 1 entity)
  string(REPLACE "${character}" "${entity}" PELLMORA_CLASS_DESCRIPTION "${PELLMORA_CLASS_DESCRIPTION}")
endforeach()
foreach(pair "PELLMORA_CLSID;_pellmora_idl_clsid" "PELLMORA_LIBID;_pellmora_idl_libid")
  list(GET pair 0 script_name)
  list(GET pair 1 idl_name)
  string(TOUPPER "${${script_name}}" script_value)
  string(TOUPPER "{${${idl_name}}}" idl_value)
  if(NOT script_value STREQUAL idl_value)
    message(FATAL_ERROR "Packaging: the class script says ${script_value}, the interface definition ${idl_value}")
  endif()
endforeach()

# The architecture: the manifest's name for it and the package folder of its DLL.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(PELLMORA_MANIFEST_ARCHITECTURE amd64)
  set(PELLMORA_PACKAGE_FOLDER x64)
else()
  set(PELLMORA_MANIFEST_ARCHITECTURE x86)
  set(PELLMORA_PACKAGE_FOLDER x86)
endif()

# The build that links the DLL (the nested one of cmake/DllBuild.cmake): the manifest beside the
# DLL, and the DLL and its manifest as the package's "dll" component.
get_target_property(_pellmora_imported Pellmora IMPORTED)
if(NOT _pellmora_imported)
  set(_pellmora_manifest ${PROJECT_BINARY_DIR}/deployment/Pellmora.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/src/module/resources/Pellmora.manifest.in ${_pellmora_manifest} @ONLY)
  file(GENERATE OUTPUT $<TARGET_FILE_DIR:Pellmora>/Pellmora.manifest INPUT ${_pellmora_manifest})
  install(TARGETS Pellmora RUNTIME DESTINATION ${PELLMORA_PACKAGE_FOLDER} COMPONENT dll)
  install(FILES ${_pellmora_manifest} DESTINATION ${PELLMORA_PACKAGE_FOLDER} COMPONENT dll)
  # The package's DLL is the stripped (and possibly signed) file that scripts/package.sh installs
  # into <stage>/x64 or <stage>/x86; wixl runs in <stage>.
  # Two packages per architecture: per machine (Pellmora.wxs) and per user (Pellmora-user.wxs).
  set(_pellmora_release_script ${PROJECT_SOURCE_DIR}/scripts/release.py)
  set(_pellmora_wxs "")
  foreach(scope machine user)
    set(_pellmora_scope_wxs ${PROJECT_BINARY_DIR}/deployment/Pellmora.wxs)
    if(scope STREQUAL "user")
      set(_pellmora_scope_wxs ${PROJECT_BINARY_DIR}/deployment/Pellmora-user.wxs)
    endif()
    add_custom_command(
      OUTPUT ${_pellmora_scope_wxs}
      COMMAND python3 ${_pellmora_release_script} wxs --arch ${PELLMORA_PACKAGE_FOLDER} --scope ${scope}
              --version ${PROJECT_VERSION} --dll ${PELLMORA_PACKAGE_FOLDER}/Pellmora.dll --out ${_pellmora_scope_wxs}
      DEPENDS ${_pellmora_release_script} ${PROJECT_SOURCE_DIR}/src/module/resources/appid.rgs ${PELLMORA_CLASS_SCRIPT}
              ${PELLMORA_INTERFACE_DEFINITION} ${PROJECT_SOURCE_DIR}/src/module/self_registration.cpp
      COMMENT "Generating the WiX source of the ${PELLMORA_PACKAGE_FOLDER} installer package (per ${scope})"
      VERBATIM)
    list(APPEND _pellmora_wxs ${_pellmora_scope_wxs})
  endforeach()
  add_custom_target(pellmora_installer_source ALL DEPENDS ${_pellmora_wxs})
  return()
endif()

# The build of the tests and examples, which sees the DLL as an imported target.
#
# The package's public headers: the interface header and the identifiers, generated from the
# interface definition (by its file name, so that no build path is written into them). The
# examples and tests build their clients against them, as users of the package do.
set(PELLMORA_PUBLIC_INCLUDE_DIR ${PROJECT_BINARY_DIR}/deployment/include)
set(_pellmora_public_files ${PELLMORA_PUBLIC_INCLUDE_DIR}/pellmora_lib.h ${PELLMORA_PUBLIC_INCLUDE_DIR}/pellmora_lib_i.c)
add_custom_command(
  OUTPUT ${_pellmora_public_files}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PELLMORA_PUBLIC_INCLUDE_DIR}
  COMMAND ${PELLMORA_WIDL} -I /usr/include/wine/wine/windows -h -u
          -H ${PELLMORA_PUBLIC_INCLUDE_DIR}/pellmora_lib.h -U ${PELLMORA_PUBLIC_INCLUDE_DIR}/pellmora_lib_i.c
          pellmora_lib.idl
  DEPENDS ${PELLMORA_INTERFACE_DEFINITION}
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}/src/automation
  COMMENT "Generating the package's interface header and identifiers"
  VERBATIM)
add_custom_target(pellmora_public_headers ALL DEPENDS ${_pellmora_public_files})

if(NOT PELLMORA_PACKAGE_FOLDER STREQUAL "x86")
  return()
endif()

# The 32-bit build makes the zip: the files common to both architectures come from here, each
# architecture's "dll" component from the nested build that links it.
string(REGEX REPLACE "." "=" PELLMORA_TITLE_RULE "Pellmora ${PROJECT_VERSION}")
configure_file(${PROJECT_SOURCE_DIR}/package/README.txt.in ${PROJECT_BINARY_DIR}/deployment/README.txt @ONLY
               NEWLINE_STYLE CRLF)
# The reference goes in as it is, with the line ends of README.txt (Notepad of older Windows shows
# nothing else).
configure_file(${PROJECT_SOURCE_DIR}/docs/reference.md ${PROJECT_BINARY_DIR}/deployment/reference.md COPYONLY)
file(READ ${PROJECT_BINARY_DIR}/deployment/reference.md _pellmora_reference)
string(REPLACE "\n" "\r\n" _pellmora_reference "${_pellmora_reference}")
file(WRITE ${PROJECT_BINARY_DIR}/deployment/reference-crlf.md "${_pellmora_reference}")
install(FILES ${PROJECT_BINARY_DIR}/deployment/README.txt ${PROJECT_SOURCE_DIR}/package/check-registration.js
        DESTINATION . COMPONENT common)
install(FILES ${PROJECT_BINARY_DIR}/deployment/reference-crlf.md DESTINATION . RENAME reference.md COMPONENT common)
install(FILES ${_pellmora_public_files} DESTINATION include COMPONENT common)
install(FILES ${PROJECT_SOURCE_DIR}/examples/connection_string.vbs ${PROJECT_SOURCE_DIR}/examples/connection_string.js
              ${PROJECT_SOURCE_DIR}/examples/early_bound_client.cpp
        DESTINATION examples COMPONENT common)
# Installing for the package builds nothing here (scripts/package.sh builds what it needs), not
# every test program.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

# The 64-bit build is the "win64" preset's, when the project has one.
file(READ ${PROJECT_SOURCE_DIR}/CMakePresets.json _pellmora_presets)
set(_pellmora_x64_build "")
if(_pellmora_presets MATCHES "\"name\": \"win64\"")
  set(_pellmora_x64_build ${PROJECT_SOURCE_DIR}/build/win64)
endif()
set(PELLMORA_PACKAGE_X64_BUILD ${_pellmora_x64_build} CACHE PATH
    "The 64-bit build whose DLL the release package takes (empty: a package without x64/)")
# The release files scripts/package.sh makes, for their tests.
set(PELLMORA_RELEASE_DIR ${PROJECT_SOURCE_DIR}/build)
set(PELLMORA_PACKAGE_FILE ${PELLMORA_RELEASE_DIR}/pellmora-${PROJECT_VERSION}.zip)
