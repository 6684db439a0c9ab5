# rvl_embed_extractor(<target> <extractor target>)
#
# Makes the .rc of <target> carry the program of <extractor target> as resource IDR_SFX_EXE (240, type
# "SFX_EXE"). The .rc includes "rvl_extractor_path.h" when RVL_EMBED_EXTRACTOR is defined; that header
# defines RVL_EXTRACTOR_PATH as the quoted path of a copy of the extractor in the build folder.
#
# The path travels in a generated header and not in a -D define because windres hands its -D arguments
# to the preprocessor through a shell command line, which strips the quotes of a string define. The
# copy has a fixed name so that the resource object can depend on it: it is compiled again whenever
# the extractor is rebuilt. Call it after the .rc is among the target's sources, e.g. in app/CMakeLists.txt:
#
#     include(${PROJECT_SOURCE_DIR}/cmake/EmbedExtractor.cmake)
#     add_executable(RVLCustomizer WIN32 ... ${PROJECT_SOURCE_DIR}/resources/RVLCustomizer.rc)
#     if(TARGET RVLExtractor)
#         rvl_embed_extractor(RVLCustomizer RVLExtractor)
#     endif()
function(rvl_embed_extractor target extractor)
    set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}-extractor)
    set(copy ${dir}/extractor.bin)
    file(MAKE_DIRECTORY ${dir})
    # Forward slashes only: in a resource script a backslash starts an escape sequence.
    file(WRITE ${dir}/rvl_extractor_path.h.in "#define RVL_EXTRACTOR_PATH \"${copy}\"\n")
    configure_file(${dir}/rvl_extractor_path.h.in ${dir}/rvl_extractor_path.h COPYONLY)
    add_custom_command(OUTPUT ${copy}
                       COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${extractor}> ${copy}
                       DEPENDS ${extractor}
                       COMMENT "Embedding the extractor in ${target}"
                       VERBATIM)
    target_sources(${target} PRIVATE ${copy})
    target_include_directories(${target} PRIVATE $<$<COMPILE_LANGUAGE:RC>:${dir}>)
    target_compile_definitions(${target} PRIVATE $<$<COMPILE_LANGUAGE:RC>:RVL_EMBED_EXTRACTOR>)
    get_target_property(sources ${target} SOURCES)
    foreach(source IN LISTS sources)
        if(source MATCHES "\\.rc$")
            set_property(SOURCE ${source} APPEND PROPERTY OBJECT_DEPENDS ${copy})
        endif()
    endforeach()
endfunction()
