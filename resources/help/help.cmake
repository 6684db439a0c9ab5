# The help file Help\RVLCustomizer.chm beside the wizard, compiled from the HTML sources of this folder
# with chmcmd (Debian's fp-utils). The sources are copied into the build folder first, so that the
# compiler writes nothing into the source tree.
set(RVL_HELP_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(RVL_HELP_FILE ${RVL_BIN_DIR}/Help/RVLCustomizer.chm)
find_program(RVL_CHMCMD chmcmd)
if(NOT RVL_CHMCMD)
    message(WARNING "chmcmd (package fp-utils) is missing: the help file ${RVL_HELP_FILE} is not built")
    return()
endif()

file(GLOB_RECURSE help_sources CONFIGURE_DEPENDS ${RVL_HELP_SOURCE_DIR}/*.htm ${RVL_HELP_SOURCE_DIR}/*.hhp
     ${RVL_HELP_SOURCE_DIR}/*.hhc ${RVL_HELP_SOURCE_DIR}/*.css ${RVL_HELP_SOURCE_DIR}/images/*.png)
set(work ${CMAKE_BINARY_DIR}/help)
add_custom_command(OUTPUT ${RVL_HELP_FILE}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${work}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${work}/images ${RVL_BIN_DIR}/Help
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${RVL_HELP_SOURCE_DIR} ${work}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${work}/help.cmake
    COMMAND ${CMAKE_COMMAND} -E chdir ${work} ${RVL_CHMCMD} --html-scan --verbosity 1 RVLCustomizer.hhp
    COMMAND ${CMAKE_COMMAND} -E copy ${work}/RVLCustomizer.chm ${RVL_HELP_FILE}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    DEPENDS ${help_sources}
    COMMENT "Compiling the help file Help/RVLCustomizer.chm"
    VERBATIM)
add_custom_target(rvl_help ALL DEPENDS ${RVL_HELP_FILE})
