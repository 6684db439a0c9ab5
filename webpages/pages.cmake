# The web pages page, its list and its dialogs, in the wizard's library.
target_sources(rvl_wizard PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/webpage_customize_page.cpp ${CMAKE_CURRENT_LIST_DIR}/webpage_customize_page.h
    ${CMAKE_CURRENT_LIST_DIR}/webpage_list_ctrl.cpp ${CMAKE_CURRENT_LIST_DIR}/webpage_list_ctrl.h
    ${CMAKE_CURRENT_LIST_DIR}/add_new_webpage.cpp ${CMAKE_CURRENT_LIST_DIR}/add_new_webpage.h
    ${CMAKE_CURRENT_LIST_DIR}/webpage_properties_dlg.cpp ${CMAKE_CURRENT_LIST_DIR}/webpage_properties_dlg.h)
target_link_libraries(rvl_wizard PUBLIC rvl_fetch rvl_compare_urls rvl_url_scheme shell32)
