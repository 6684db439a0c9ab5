# The data files and the destination page under Wine. The whole build runs the package it made, which
# runs one at a time per session and announces under the shared key: never beside the extractor's tests. The data files share the customization input folder with the download page's tests.
add_executable(destination_tests data_files_tests.cpp destination_page_tests.cpp xml_tree.h)
target_include_directories(destination_tests PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(destination_tests PRIVATE gtest_main rvl_wizard rvl_uitest)
target_link_options(destination_tests PRIVATE -mconsole)
rvl_add_wizard_resources(destination_tests)
rvl_test_carry_stub(destination_tests)
add_dependencies(destination_tests rvl_standin)
gtest_discover_tests(destination_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                     PROPERTIES TIMEOUT 180 RESOURCE_LOCK "rvl_extractor_output;rvl_customizer_input")
