# The wizard's resources, loaded by a test program that links resources/RVLCustomizer.rc itself, and
# the page walker of scripts/screenshots. rvl_add_wizard_resources and rvl_wizard come from
# app/CMakeLists.txt.
if(NOT COMMAND rvl_add_wizard_resources)
    return()
endif()
get_filename_component(rvl_root ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)

rvl_add_gtest(resources_tests ${CMAKE_CURRENT_LIST_DIR}/resources_tests.cpp)
rvl_add_wizard_resources(resources_tests)
target_include_directories(resources_tests PRIVATE ${rvl_root})
target_link_libraries(resources_tests PRIVATE comctl32 version)

# Shows the wizard's pages one after the other for scripts/screenshots (a console program, so that its
# complaints reach the script).
if(TARGET rvl_wizard)
    add_executable(walk_pages ${CMAKE_CURRENT_LIST_DIR}/walk_pages.cpp)
    target_link_libraries(walk_pages PRIVATE rvl_wizard)
    target_link_options(walk_pages PRIVATE -mconsole)
    target_include_directories(walk_pages PRIVATE ${rvl_root})
    rvl_add_wizard_resources(walk_pages)
endif()
