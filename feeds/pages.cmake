# The feeds page, its list and its dialogs, in the wizard's library.
target_sources(rvl_wizard PRIVATE
    ${PROJECT_SOURCE_DIR}/feeds/customization_page.cpp
    ${PROJECT_SOURCE_DIR}/feeds/feed_list_ctrl.cpp ${PROJECT_SOURCE_DIR}/feeds/feed_list_ctrl.h
    ${PROJECT_SOURCE_DIR}/feeds/add_new_feed.cpp ${PROJECT_SOURCE_DIR}/feeds/add_new_feed.h
    ${PROJECT_SOURCE_DIR}/feeds/feed_properties_dlg.cpp ${PROJECT_SOURCE_DIR}/feeds/feed_properties_dlg.h
    ${PROJECT_SOURCE_DIR}/feeds/dlg_rename_folder.cpp ${PROJECT_SOURCE_DIR}/feeds/dlg_rename_folder.h
    ${PROJECT_SOURCE_DIR}/feeds/opml_reader.cpp ${PROJECT_SOURCE_DIR}/feeds/opml_reader.h
    ${PROJECT_SOURCE_DIR}/feeds/import_list_ctrl.cpp ${PROJECT_SOURCE_DIR}/feeds/import_list_ctrl.h
    ${PROJECT_SOURCE_DIR}/feeds/import_feed_page.cpp ${PROJECT_SOURCE_DIR}/feeds/import_feed_page.h)
target_link_libraries(rvl_wizard PUBLIC rvl_compare_urls rvl_url_scheme rvl_fetch urlmon shell32 ole32 oleaut32 comdlg32 shlwapi)
