# What ships beside the programs: the HTML help, the sample discs, the desktop
# entry and its icons. Each is built into <build>/share/... in the same layout
# `cmake --install` gives it under the prefix, so the programs find them the
# same way from either place (platform/ui/Paths.h).
include(GNUInstallDirs)

set(TESSAL_BUILD_SHARE ${CMAKE_BINARY_DIR}/share)
set(TESSAL_BUILD_DATADIR ${TESSAL_BUILD_SHARE}/tessal)

# The data folders compiled into the one file that looks for them.
set_source_files_properties(${CMAKE_SOURCE_DIR}/platform/ui/Paths.cpp
  DIRECTORY ${CMAKE_SOURCE_DIR}/platform/ui
  PROPERTIES COMPILE_DEFINITIONS
    "TESSAL_INSTALL_DATADIR=\"${CMAKE_INSTALL_FULL_DATADIR}/tessal\";TESSAL_BUILD_DATADIR=\"${TESSAL_BUILD_DATADIR}\"")

# The help: copied as it stands.
file(GLOB_RECURSE _help_files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/help/*)
set(_help_stamp ${CMAKE_BINARY_DIR}/share/tessal/help.stamp)
add_custom_command(
  OUTPUT ${_help_stamp}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${TESSAL_BUILD_DATADIR}/help
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/help ${TESSAL_BUILD_DATADIR}/help
  COMMAND ${CMAKE_COMMAND} -E touch ${_help_stamp}
  DEPENDS ${_help_files}
  COMMENT "Copying the help"
  VERBATIM)
add_custom_target(tessal_help ALL DEPENDS ${_help_stamp})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/help/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tessal/help)

add_subdirectory(${CMAKE_SOURCE_DIR}/samples ${CMAKE_BINARY_DIR}/samples)
add_subdirectory(${CMAKE_SOURCE_DIR}/desktop ${CMAKE_BINARY_DIR}/desktop)

install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tessal)

# Their tests read what the build wrote and what `cmake --install` puts in a
# scratch DESTDIR, so everything installed is built first.
if(TESSAL_TESTS)
  find_package(GTest REQUIRED)
  tessal_test(NAME test_desktop DIR tests/desktop DEPS tessal_orvane tessal_ui tessal_res tessal_testsupport)
  if(TARGET test_desktop)
    add_dependencies(test_desktop tessal_sample_discs tessal_help tessal_desktop_files tessal_mime)
    if(TARGET tessal_docs)
      add_dependencies(test_desktop tessal_docs)
      # The manual's command list is checked against the commands themselves.
      target_link_libraries(test_desktop PRIVATE tessal_cli)
    endif()
    if(TARGET tessal_ui_qt)
      # Opening a file from the command line or a drop, on the real window.
      target_link_libraries(test_desktop PRIVATE tessal_app tessal_ui_qt)
    endif()
    foreach(_program tessal tessal-cli)
      if(TARGET ${_program})
        add_dependencies(test_desktop ${_program})
      endif()
    endforeach()
  endif()
endif()
