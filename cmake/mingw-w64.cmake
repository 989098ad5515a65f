# Cross-compiling for 64-bit Windows with Debian's mingw-w64
# (g++-mingw-w64-x86-64-posix: the "posix" thread model, which
# std::thread and std::mutex need).
#
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(LRS_MINGW_PREFIX x86_64-w64-mingw32)
find_program(LRS_MINGW_CXX NAMES ${LRS_MINGW_PREFIX}-g++-posix REQUIRED)
find_program(LRS_MINGW_CC NAMES ${LRS_MINGW_PREFIX}-gcc-posix REQUIRED)
set(CMAKE_CXX_COMPILER ${LRS_MINGW_CXX})
set(CMAKE_C_COMPILER ${LRS_MINGW_CC})
set(CMAKE_RC_COMPILER ${LRS_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${LRS_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained .exe: the compiler's runtime (libstdc++, libgcc,
# winpthread) is linked in, so nothing but the program has to be shipped.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests run under Wine when ctest is used on the build machine.
find_program(LRS_WINE NAMES wine64 wine HINTS /usr/lib/wine)
if(LRS_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${LRS_WINE})
endif()

# nlohmann-json is header-only: Debian's headers serve the cross build too,
# from a folder that holds nothing else (adding /usr/include itself would
# put the Linux C library's headers before mingw's).
set(LRS_CROSS_JSON ${CMAKE_BINARY_DIR}/cross-deps/nlohmann_json)
if(EXISTS /usr/include/nlohmann/json.hpp AND NOT EXISTS ${LRS_CROSS_JSON}/nlohmann_jsonConfig.cmake)
  file(MAKE_DIRECTORY ${LRS_CROSS_JSON}/include)
  file(CREATE_LINK /usr/include/nlohmann ${LRS_CROSS_JSON}/include/nlohmann SYMBOLIC)
  file(WRITE ${LRS_CROSS_JSON}/nlohmann_jsonConfig.cmake
    "if(NOT TARGET nlohmann_json::nlohmann_json)\n"
    "  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)\n"
    "  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES\n"
    "    INTERFACE_INCLUDE_DIRECTORIES \${CMAKE_CURRENT_LIST_DIR}/include)\n"
    "endif()\n")
  file(WRITE ${LRS_CROSS_JSON}/nlohmann_jsonConfigVersion.cmake
    "set(PACKAGE_VERSION 3.11.2)\n"
    "if(PACKAGE_FIND_VERSION_MAJOR STREQUAL \"3\")\n"
    "  set(PACKAGE_VERSION_COMPATIBLE TRUE)\n"
    "endif()\n")
endif()
set(nlohmann_json_DIR ${LRS_CROSS_JSON} CACHE PATH "nlohmann-json for the cross build")
