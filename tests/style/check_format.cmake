# Every C and C++ source of the tree is in the house style (.clang-format at the
# root): clang-format would change nothing. Run with -DSOURCE_DIR=<tree>
# -DCLANG_FORMAT=<program>; build folders inside the tree are left out.
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
  ${SOURCE_DIR}/*.c ${SOURCE_DIR}/*.cpp ${SOURCE_DIR}/*.h)
list(FILTER sources EXCLUDE REGEX "^(build[^/]*|\\.git)/")
list(LENGTH sources count)
if(count EQUAL 0)
  message(FATAL_ERROR "no sources found under ${SOURCE_DIR}")
endif()
execute_process(COMMAND ${CLANG_FORMAT} --dry-run -Werror ${sources}
  WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE result ERROR_VARIABLE report)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${report}\nnot in the house style: run clang-format -i on the files named above")
endif()
message(STATUS "${count} sources in the house style")
