# The data files and the destination page, which builds the customized setup.
target_sources(rvl_wizard PRIVATE
    ${PROJECT_SOURCE_DIR}/builder/data_files.cpp ${PROJECT_SOURCE_DIR}/builder/data_files.h
    ${PROJECT_SOURCE_DIR}/builder/destination_folder_page.cpp ${PROJECT_SOURCE_DIR}/builder/destination_folder_page.h)
target_link_libraries(rvl_wizard PUBLIC rvl_package_win rvl_setup_file rvl_setup_trust ole32 oleaut32 uuid shell32 shlwapi)
