# Proves, at build time, that the 32-bit type library may import the 64-bit Wine tree's stdole2.tlb.
#
#   cmake -DIMPORTLIB=<stdole2.tlb in use> -DRECORD=<identity file> [-DREFERENCE=<32-bit stdole2.tlb>
#         -DWIDL_COMMAND=<widl|its options|...> -DIDL=<idl file>] -DWORK_DIR=<dir> -P importlib-identity.cmake
#   cmake -DIMPORTLIB=<32-bit stdole2.tlb> -DRECORD=<identity file> -DWRITE=ON -P importlib-identity.cmake
#
# widl takes from an imported library only its identity: the library's GUID and version, the number
# of its type infos and, for each, its kind, GUID and name. Sizes, virtual-table layouts, member
# records and the target system (win32 or win64) it never reads: flipping any byte of those leaves
# the generated type library unchanged, byte for byte (a scan that flipped every byte of Wine 8.0's
# 64-bit stdole2.tlb in turn and ran widl 7.0 on each copy found the output changed only by the
# fields above; the rest that mattered was the file's structure: signatures, offsets, counts). The
# 32-bit and the 64-bit stdole2.tlb differ only in what widl does not read, so the type library is
# the same whichever is imported.
#
# The script checks both halves of that claim where it can:
#  - always: the identity of the file in use equals the identity recorded from the 32-bit
#    stdole2.tlb (RECORD), so the import records written into our type library are the same;
#  - where the 32-bit stdole2.tlb is installed too (REFERENCE): widl is run with each, and the two
#    type libraries must be identical bytes. Both runs happen within one second, since widl stamps
#    the time (to the second) into its output.
cmake_minimum_required(VERSION 3.16)

# Reads a little-endian unsigned 32-bit value at byte offset <at> of the hex dump <hex>.
function(read_u32 hex at out)
  math(EXPR p "${at} * 2")
  string(SUBSTRING "${hex}" ${p} 8 le)
  string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" be "${le}")
  math(EXPR value "0x${be}")
  set(${out} ${value} PARENT_SCOPE)
endfunction()

# Reads the GUID at byte offset <at> in its usual text form.
function(read_guid hex at out)
  math(EXPR p "${at} * 2")
  string(SUBSTRING "${hex}" ${p} 32 raw)
  string(SUBSTRING "${raw}" 16 4 d4a)
  string(SUBSTRING "${raw}" 20 12 d4b)
  string(REGEX REPLACE "^(..)(..)(..)(..)(..)(..)(..)(..).*$" "\\4\\3\\2\\1-\\6\\5-\\8\\7" text "${raw}")
  set(text "${text}-${d4a}-${d4b}")
  string(TOUPPER "${text}" text)
  set(${out} ${text} PARENT_SCOPE)
endfunction()

# The identity of the type library in <file> (bare, or as the resource of a PE file): one line for
# the library, one per type info.
function(importlib_identity file out)
  file(READ "${file}" hex HEX)
  # The type library starts at its "MSFT" signature, on a byte boundary.
  set(from 0)
  while(TRUE)
    string(SUBSTRING "${hex}" ${from} -1 rest)
    string(FIND "${rest}" "4d534654" found)
    if(found EQUAL -1)
      message(FATAL_ERROR "${file}: no type library (no MSFT signature)")
    endif()
    math(EXPR at "${from} + ${found}")
    math(EXPR odd "${at} % 2")
    if(odd EQUAL 0)
      break()
    endif()
    math(EXPR from "${at} + 1")
  endwhile()
  math(EXPR at "${at} / 2")
  math(EXPR length "${at} * 2")
  string(SUBSTRING "${hex}" ${length} -1 hex)

  read_u32("${hex}" 8 library_guid_at)
  read_u32("${hex}" 20 flags)
  read_u32("${hex}" 24 version)
  read_u32("${hex}" 32 count)
  # Header (0x54 bytes), a help-DLL field when flag 0x100 is set, the type info offsets, then the
  # segment directory of 16-byte entries: type infos first, the GUID table 6th, the name table 8th.
  math(EXPR directory "0x54 + ((${flags} & 0x100) >> 6) + 4 * ${count}")
  read_u32("${hex}" ${directory} typeinfos)
  math(EXPR at "${directory} + 5 * 16")
  read_u32("${hex}" ${at} guids)
  math(EXPR at "${directory} + 7 * 16")
  read_u32("${hex}" ${at} names)

  math(EXPR at "${guids} + ${library_guid_at}")
  read_guid("${hex}" ${at} library_guid)
  set(lines "library ${library_guid} version ${version} typeinfos ${count}")
  math(EXPR last "${count} - 1")
  foreach(i RANGE ${last})
    math(EXPR base "${typeinfos} + 100 * ${i}")
    read_u32("${hex}" ${base} kind)
    math(EXPR kind "${kind} & 0xf")
    math(EXPR at "${base} + 44")
    read_u32("${hex}" ${at} guid_at)
    set(guid "-")
    if(NOT guid_at EQUAL 0xffffffff)
      math(EXPR at "${guids} + ${guid_at}")
      read_guid("${hex}" ${at} guid)
    endif()
    math(EXPR at "${base} + 52")
    read_u32("${hex}" ${at} name_at)
    # A name entry: reference, hash link, a length byte and hash, then the characters.
    math(EXPR at "${names} + ${name_at} + 8")
    read_u32("${hex}" ${at} name_length)
    math(EXPR name_length "${name_length} & 0xff")
    math(EXPR p "(${names} + ${name_at} + 12) * 2")
    math(EXPR n "${name_length} * 2")
    string(SUBSTRING "${hex}" ${p} ${n} name_hex)
    # Names are ASCII: turn the hex pairs back into characters.
    set(name "")
    string(LENGTH "${name_hex}" name_hex_length)
    set(k 0)
    while(k LESS name_hex_length)
      string(SUBSTRING "${name_hex}" ${k} 2 byte)
      math(EXPR code "0x${byte}")
      string(ASCII ${code} character)
      string(APPEND name "${character}")
      math(EXPR k "${k} + 2")
    endwhile()
    list(APPEND lines "${i} kind ${kind} ${guid} ${name}")
  endforeach()
  string(REPLACE ";" "\n" text "${lines}")
  set(${out} "${text}\n" PARENT_SCOPE)
endfunction()

importlib_identity("${IMPORTLIB}" identity)
set(header "# Identity of the 32-bit stdole2.tlb (what widl reads from it); written by cmake/importlib-identity.cmake\n")
if(WRITE)
  file(WRITE "${RECORD}" "${header}${identity}")
  return()
endif()
file(READ "${RECORD}" recorded)
if(NOT "${header}${identity}" STREQUAL "${recorded}")
  file(WRITE "${WORK_DIR}/stdole2-in-use.identity" "${header}${identity}")
  message(FATAL_ERROR "${IMPORTLIB} does not have the identity recorded from the 32-bit stdole2.tlb "
          "(${RECORD}; this one's is in ${WORK_DIR}/stdole2-in-use.identity): the 32-bit type "
          "library cannot be built from it")
endif()

message(STATUS "${IMPORTLIB} has the identity of the 32-bit stdole2.tlb (${RECORD})")

if(REFERENCE AND EXISTS "${REFERENCE}")
  importlib_identity("${REFERENCE}" reference_identity)
  if(NOT "${header}${reference_identity}" STREQUAL "${recorded}")
    message(FATAL_ERROR "${REFERENCE}'s identity differs from ${RECORD}")
  endif()
  string(REPLACE "|" ";" WIDL_COMMAND "${WIDL_COMMAND}")
  get_filename_component(in_use_dir "${IMPORTLIB}" DIRECTORY)
  get_filename_component(reference_dir "${REFERENCE}" DIRECTORY)
  foreach(attempt 1 2 3)
    execute_process(COMMAND ${WIDL_COMMAND} -L ${in_use_dir} -T ${WORK_DIR}/with-in-use.tlb ${IDL}
                    COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND ${WIDL_COMMAND} -L ${reference_dir} -T ${WORK_DIR}/with-reference.tlb ${IDL}
                    COMMAND_ERROR_IS_FATAL ANY)
    file(READ ${WORK_DIR}/with-in-use.tlb a HEX)
    file(READ ${WORK_DIR}/with-reference.tlb b HEX)
    if(a STREQUAL b)
      message(STATUS "The type library is the same bytes with ${IMPORTLIB} and ${REFERENCE}")
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "The type library differs when built with ${REFERENCE} instead of ${IMPORTLIB}: "
          "compare ${WORK_DIR}/with-in-use.tlb and ${WORK_DIR}/with-reference.tlb")
endif()
