# One version everywhere. The project's version is read from the header's
# VELLUMDB_VERSION_MAJOR, _MINOR and _PATCH (cmake/header_version.cmake); the
# header's VELLUMDB_VERSION and VELLUMDB_VERSION_NUMBER, the version resource
# in the built module and the package names must all say the same.
# Run with -DVERSION=x.y.z -DHEADER=... -DMODULE=... -DCPACK_CONFIG=...
cmake_minimum_required(VERSION 3.25)
string(REGEX MATCH "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$" parsed "${VERSION}")
if(NOT parsed)
  message(FATAL_ERROR "the project version '${VERSION}' is not MAJOR.MINOR.PATCH")
endif()
set(major ${CMAKE_MATCH_1})
set(minor ${CMAKE_MATCH_2})
set(patch ${CMAKE_MATCH_3})
set(failures "")

# The header.
file(STRINGS "${HEADER}" text_line REGEX "^#define VELLUMDB_VERSION +\"")
file(STRINGS "${HEADER}" number_line REGEX "^#define VELLUMDB_VERSION_NUMBER +[0-9]+")
string(REGEX REPLACE "^#define VELLUMDB_VERSION +\"([^\"]*)\".*" "\\1" header_text "${text_line}")
string(REGEX REPLACE "^#define VELLUMDB_VERSION_NUMBER +([0-9]+).*" "\\1" header_number "${number_line}")
math(EXPR expected_number "${major} * 1000000 + ${minor} * 1000 + ${patch}")
if(NOT header_text STREQUAL VERSION)
  list(APPEND failures "vellumdb.h VELLUMDB_VERSION is '${header_text}'")
endif()
if(NOT header_number STREQUAL expected_number)
  list(APPEND failures "vellumdb.h VELLUMDB_VERSION_NUMBER is '${header_number}', not ${expected_number}")
endif()

# The module's VS_FIXEDFILEINFO: the signature FEEF04BD, the structure version,
# then the file version (MS, LS) and the product version (MS, LS), each a
# little-endian 32-bit word.
function(word hex offset out)
  string(SUBSTRING "${hex}" ${offset} 8 w)
  string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" w "${w}")
  math(EXPR value "0x${w}")
  set(${out} ${value} PARENT_SCOPE)
endfunction()
file(READ "${MODULE}" module_hex HEX)
string(FIND "${module_hex}" "bd04effe" signature)
math(EXPR odd "${signature} % 2")
if(signature EQUAL -1 OR odd)
  list(APPEND failures "no version resource in ${MODULE}")
else()
  math(EXPR expected_ms "(${major} << 16) | ${minor}")
  math(EXPR expected_ls "${patch} << 16")
  set(names "file version (high)" "file version (low)" "product version (high)" "product version (low)")
  set(expected ${expected_ms} ${expected_ls} ${expected_ms} ${expected_ls})
  foreach(i RANGE 0 3)
    math(EXPR offset "${signature} + 16 + ${i} * 8")
    word("${module_hex}" ${offset} actual)
    list(GET expected ${i} want)
    list(GET names ${i} name)
    if(NOT actual EQUAL want)
      list(APPEND failures "the module's ${name} is ${actual}, not ${want}")
    endif()
  endforeach()
endif()

# The package names CPack will use.
include("${CPACK_CONFIG}")
if(NOT CPACK_ARCHIVE_LISTENER_FILE_NAME STREQUAL "vellumdb-${VERSION}-win32")
  list(APPEND failures "the listener package is named '${CPACK_ARCHIVE_LISTENER_FILE_NAME}'")
endif()
if(NOT CPACK_ARCHIVE_SDK_FILE_NAME STREQUAL "vellumdb-sdk-${VERSION}")
  list(APPEND failures "the SDK package is named '${CPACK_ARCHIVE_SDK_FILE_NAME}'")
endif()

if(failures)
  list(JOIN failures "\n  " report)
  message(FATAL_ERROR "not every place says version ${VERSION}:\n  ${report}")
endif()
message(STATUS "version ${VERSION} in the header, the module's version resource and both package names")
