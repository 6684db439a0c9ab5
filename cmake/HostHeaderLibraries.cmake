# CLI11 and nlohmann-json, header-only libraries from Debian's packages, for both the native and the MinGW
# builds. The MinGW toolchain searches only its own root, and /usr/include as a whole must never reach a
# Windows compilation (its C library headers are the host's): a folder of the build holds links to just
# these two header folders, and the target rvl_cli_json adds only that folder.
find_path(RVL_CLI11_INCLUDE CLI/CLI.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
find_path(RVL_NLOHMANN_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT RVL_CLI11_INCLUDE OR NOT RVL_NLOHMANN_INCLUDE)
    message(FATAL_ERROR "CLI11 and nlohmann-json are missing: run scripts/install-deps "
                        "(Debian packages libcli11-dev and nlohmann-json3-dev)")
endif()
set(RVL_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${RVL_HOST_HEADERS})
file(CREATE_LINK ${RVL_CLI11_INCLUDE}/CLI ${RVL_HOST_HEADERS}/CLI SYMBOLIC)
file(CREATE_LINK ${RVL_NLOHMANN_INCLUDE}/nlohmann ${RVL_HOST_HEADERS}/nlohmann SYMBOLIC)
add_library(rvl_cli_json INTERFACE IMPORTED GLOBAL)
target_include_directories(rvl_cli_json SYSTEM INTERFACE ${RVL_HOST_HEADERS})
