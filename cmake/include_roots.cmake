# Headers are included by their folder, as "library/connection.h". A plain
# include directory of the source tree would let any file include any folder,
# so each folder gets an include root of its own in the build tree that holds
# a link to that folder alone. A target sees its own root and the roots of what
# it links, nothing else: in the core, an include of a folder that is not below
# the including one fails to build (tests/layering proves it).
function(vellum_include_root target folder)
  set(root ${CMAKE_BINARY_DIR}/include-roots/${folder})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  target_include_directories(${target} PUBLIC ${root})
endfunction()
