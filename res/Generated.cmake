# The skin: a generator drawn from geometry writes every bitmap, icon and the
# cursor as BMP files into the build tree, with a source file that links them
# into tessal_res.
add_executable(tessal_skin_gen ${CMAKE_CURRENT_SOURCE_DIR}/gen/SkinGen.cpp)
set_target_properties(tessal_skin_gen PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})

set(TESSAL_SKIN_DIR ${CMAKE_CURRENT_BINARY_DIR}/skin)
set(TESSAL_SKIN_SOURCE ${TESSAL_SKIN_DIR}/SkinEmbedded.cpp)
add_custom_command(
  OUTPUT ${TESSAL_SKIN_SOURCE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TESSAL_SKIN_DIR}
  COMMAND tessal_skin_gen ${TESSAL_SKIN_DIR}
  DEPENDS tessal_skin_gen
  COMMENT "Drawing the skin bitmaps"
  VERBATIM)
target_sources(tessal_res PRIVATE ${TESSAL_SKIN_SOURCE})
