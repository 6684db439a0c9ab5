# rvl_delay_load(<target> <library>...)
#
# Links <target> against delay-load import libraries of the system DLLs named (for instance wininet,
# urlmon, comctl32): the loader does not resolve them when the program starts, but on the first call
# into each, through LoadLibrary. The program restricts the DLL search to the system folder first, so
# that a DLL of the same name in the program's own folder (typically Downloads) is never loaded.
#
# The delay-load libraries are made at configure time from the toolchain's ordinary import libraries:
# the names of their imports become a .def file, and dlltool writes the delay-load library (-y) from it.
# They are put into a folder of their own that the link searches before the toolchain's libraries, so
# that every -l<library> of the target and of the libraries it links picks them, and no DLL is imported
# both ways.
function(rvl_delay_load target)
    set(dir ${CMAKE_BINARY_DIR}/delayload)
    file(MAKE_DIRECTORY ${dir})
    find_program(RVL_NM NAMES ${RVL_MINGW_TRIPLE}-nm REQUIRED)
    find_program(RVL_DLLTOOL NAMES ${RVL_MINGW_TRIPLE}-dlltool REQUIRED)
    # 32-bit symbols carry a leading underscore and the stdcall size (@n), which the DLL's export names lack.
    if(RVL_MINGW_TRIPLE MATCHES "^i686")
        set(prefix "__imp__")
        set(kill_at -k)
    else()
        set(prefix "__imp_")
        set(kill_at)
    endif()
    foreach(library IN LISTS ARGN)
        set(import /usr/${RVL_MINGW_TRIPLE}/lib/lib${library}.a)
        set(delaylib ${dir}/lib${library}.a)
        set(keep ${dir}/${library}.keep)
        if(NOT EXISTS ${delaylib} OR NOT EXISTS ${keep} OR ${import} IS_NEWER_THAN ${delaylib})
            execute_process(COMMAND ${RVL_NM} ${import} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
            # The DLL's own name, as the import library records it (WININET.dll, urlmon.dll, ...).
            execute_process(COMMAND ${RVL_DLLTOOL} --identify ${import} OUTPUT_VARIABLE dll
                            OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
            string(REGEX MATCHALL " I ${prefix}[^\n]+" imports "${symbols}")
            set(def "LIBRARY \"${dll}\"\nEXPORTS\n")
            set(undefined "")
            foreach(entry IN LISTS imports)
                string(REGEX REPLACE "^ I ${prefix}" "" name "${entry}")
                string(APPEND def "${name}\n")
                string(APPEND undefined "-Wl,-u,_${name}\n")
            endforeach()
            file(WRITE ${dir}/${library}.def "${def}")
            file(WRITE ${keep} "${undefined}")
            execute_process(COMMAND ${RVL_DLLTOOL} ${kill_at} -d ${dir}/${library}.def -D ${dll} -y ${delaylib}
                            COMMAND_ERROR_IS_FATAL ANY)
        endif()
        # The 32-bit ld drops the code of an import-library member whose entry symbol nothing names, and
        # the program reaches its functions only through the __imp_ pointers: the pointer would then
        # start as null instead of pointing at the code that loads the DLL. Naming every entry keeps it.
        if(RVL_MINGW_TRIPLE MATCHES "^i686")
            target_link_options(${target} PRIVATE "@${keep}")
        endif()
    endforeach()
    target_link_directories(${target} BEFORE PRIVATE ${dir})
endfunction()
