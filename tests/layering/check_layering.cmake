# Builds TARGET, a source that includes HEADER from a layer that must not see
# it. Passes only when the build fails because HEADER is not found; a build
# that succeeds, or fails for another reason, fails the test.
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${TARGET}
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(result EQUAL 0)
  message(FATAL_ERROR "${TARGET} built: its layer can include ${HEADER}")
endif()
string(REPLACE "." "\\." pattern "${HEADER}")
# GCC: "dir/name.h: No such file or directory"; Clang: "'dir/name.h' file not found".
if(NOT output MATCHES "${pattern}(: No such file or directory|' file not found)")
  message(FATAL_ERROR "${TARGET} failed, but not for want of ${HEADER}:\n${output}")
endif()
message(STATUS "${TARGET}: ${HEADER} is out of reach, as it should be")
