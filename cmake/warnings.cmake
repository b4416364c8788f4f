# Warnings for the project's own code: every common one, and each an error.
# Set for the whole tree before any target is made, so a new target has them
# without asking: the core, the shell, the stand-ins, the tests, the examples,
# the benchmarks and the fuzz targets. Third-party code is exempt: SQLite's
# amalgamation, built here for Windows, turns warnings off on its own target
# (-w, cmake/sqlite.cmake), and GoogleTest and Google Benchmark come built.
# The same flags serve g++, clang and MinGW's g++; the resource compiler gets
# none of them.
option(VELLUM_WARNINGS_AS_ERRORS "Fail the build on a warning in the project's own code" ON)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-Wall;-Wextra>"
                      "$<$<AND:$<COMPILE_LANGUAGE:C,CXX>,$<BOOL:${VELLUM_WARNINGS_AS_ERRORS}>>:-Werror>")
endif()
