# The Windows side of the build (MinGW-w64 cross compiler, cmake/mingw-w64-x86_64.cmake).

# One executable that needs no DLL beside it: libgcc, libstdc++, winpthreads and zlib inside.
add_link_options(-static -static-libgcc -static-libstdc++)
set(ZLIB_USE_STATIC_LIBS ON)
add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)
target_link_libraries(nuvexa_core PUBLIC winhttp crypt32 bcrypt version advapi32 ws2_32 iphlpapi)

# Header-only pieces that Debian ships for the build machine: copied where the cross compiler
# looks, so that no other header of the build machine can reach it.
set(NUVEXA_CROSS_INCLUDE ${CMAKE_BINARY_DIR}/cross-include)
find_path(NUVEXA_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_path(NUVEXA_IBASE_INCLUDE ibase.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
file(COPY ${NUVEXA_JSON_INCLUDE}/nlohmann DESTINATION ${NUVEXA_CROSS_INCLUDE})
file(COPY ${NUVEXA_IBASE_INCLUDE}/ibase.h ${NUVEXA_IBASE_INCLUDE}/iberror.h DESTINATION ${NUVEXA_CROSS_INCLUDE})
add_library(nlohmann_json_cross INTERFACE)
target_include_directories(nlohmann_json_cross SYSTEM INTERFACE ${NUVEXA_CROSS_INCLUDE})
add_library(nlohmann_json::nlohmann_json ALIAS nlohmann_json_cross)
target_include_directories(nuvexa_core SYSTEM PUBLIC ${NUVEXA_CROSS_INCLUDE})

# Tools that run during the build are built for the build machine.
find_program(NUVEXA_HOST_CXX NAMES c++ g++ NO_CMAKE_FIND_ROOT_PATH REQUIRED)
