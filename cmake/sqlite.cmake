# SQLite: the official amalgamation compiled into every Windows artifact;
# natively, Debian's libsqlite3-dev.
if(WIN32)
  execute_process(
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/../tools/fetch-sqlite
    OUTPUT_VARIABLE VELLUM_SQLITE_DIR OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE fetch_result)
  if(NOT fetch_result EQUAL 0)
    message(FATAL_ERROR "Could not obtain the SQLite amalgamation")
  endif()
  add_library(sqlite3 STATIC ${VELLUM_SQLITE_DIR}/sqlite3.c)
  target_include_directories(sqlite3 SYSTEM PUBLIC ${VELLUM_SQLITE_DIR})
  target_compile_definitions(sqlite3 PUBLIC SQLITE_THREADSAFE=1
    PRIVATE SQLITE_OMIT_LOAD_EXTENSION SQLITE_DEFAULT_FOREIGN_KEYS=0)
  target_compile_options(sqlite3 PRIVATE -w -O2 -ffile-prefix-map=${VELLUM_SQLITE_DIR}/=sqlite/)
  # A 64-bit time_t, so the 'localtime' modifier calls the CRT's 64-bit
  # functions: the 32-bit ones stop at 2038.
  target_compile_definitions(sqlite3 PRIVATE __MINGW_USE_VC2005_COMPAT)
  add_library(SQLite::SQLite3 ALIAS sqlite3)
else()
  find_package(SQLite3 REQUIRED)
endif()
