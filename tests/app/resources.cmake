# The wizard's resources, loaded by a test program that links resources/RVLCustomizer.rc itself
# (rvl_add_wizard_resources comes from app/CMakeLists.txt).
if(NOT COMMAND rvl_add_wizard_resources)
    return()
endif()
rvl_add_gtest(resources_tests ${CMAKE_CURRENT_LIST_DIR}/resources_tests.cpp)
rvl_add_wizard_resources(resources_tests)
target_include_directories(resources_tests PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(resources_tests PRIVATE comctl32 version)
# windres reports no dependencies: compile the resources again when a picture or the manifest changes.
file(GLOB rvl_pictures CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/resources/images/*)
set_property(SOURCE ${PROJECT_SOURCE_DIR}/resources/RVLCustomizer.rc APPEND PROPERTY OBJECT_DEPENDS
             ${rvl_pictures} ${PROJECT_SOURCE_DIR}/resources/RVLCustomizer.manifest
             ${PROJECT_SOURCE_DIR}/resources/resource.h)
