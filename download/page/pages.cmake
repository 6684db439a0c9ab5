# The download page and its event sink, which create Pullwire's URLDownload object through COM.
target_sources(rvl_wizard PRIVATE
    ${PROJECT_SOURCE_DIR}/download/page/download_setup_page.cpp ${PROJECT_SOURCE_DIR}/download/page/download_setup_page.h
    ${PROJECT_SOURCE_DIR}/download/page/download_setup_sink.cpp ${PROJECT_SOURCE_DIR}/download/page/download_setup_sink.h)
target_link_libraries(rvl_wizard PUBLIC rvl_download_text rvl_pullwire_interface ole32 oleaut32 uuid)
