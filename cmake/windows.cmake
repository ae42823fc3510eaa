# Libraries and link rules of the Windows build (cmake/mingw-w64-x86_64.cmake).
# scripts/build-windows.sh builds pugixml, libzip and GoogleTest static into
# SKLM_WINDOWS_DEPS and copies the header-only libraries' headers into
# SKLM_WINDOWS_DEPS/headers: the Linux /usr/include cannot be on the cross
# compiler's path.
if(NOT SKLM_WINDOWS_DEPS)
  message(FATAL_ERROR "SKLM_WINDOWS_DEPS names no folder: build with scripts/build-windows.sh")
endif()

# The W functions are called by name; the two macros keep windows.h from
# pulling in the first Winsock and from defining min and max.
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE _WIN32_WINNT=0x0A00 WINVER=0x0A00)
# The C++ and C runtimes, winpthread and every library inside the program:
# it imports system DLLs only.
add_link_options(-static -static-libgcc -static-libstdc++)

set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)
find_package(pugixml CONFIG REQUIRED)
find_package(libzip CONFIG REQUIRED)
add_library(sklm_libzip INTERFACE)
target_link_libraries(sklm_libzip INTERFACE libzip::zip ZLIB::ZLIB)

set(_headers ${SKLM_WINDOWS_DEPS}/headers)
add_library(fmt::fmt INTERFACE IMPORTED)
target_include_directories(fmt::fmt SYSTEM INTERFACE ${_headers})
target_compile_definitions(fmt::fmt INTERFACE FMT_HEADER_ONLY=1)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${_headers})
add_library(Microsoft.GSL::GSL INTERFACE IMPORTED)
target_include_directories(Microsoft.GSL::GSL SYSTEM INTERFACE ${_headers})

# Windows programs of this tree run here under Wine: ctest's test programs and
# the tools a build step runs (the scrambled fixtures).
if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh)
endif()

# The system libraries the program's calls live in.
set(SKLM_WINDOWS_SYSTEM_LIBRARIES ws2_32 winmm winhttp shell32 user32 gdi32 kernel32)

# The manifest as a resource script of its own, for every program that must
# run with the program's code page (the test programs).
set(SKLM_WINDOWS_MANIFEST_RC ${CMAKE_SOURCE_DIR}/resources/manifest.rc)

# Release builds keep their debug information beside the program
# (NAME.exe.debug, linked to it by a debug link), not inside it.
function(sklm_windows_program target)
  target_link_libraries(${target} PRIVATE ${SKLM_WINDOWS_SYSTEM_LIBRARIES})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> $<TARGET_FILE:${target}>.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-debug --add-gnu-debuglink=$<TARGET_FILE:${target}>.debug $<TARGET_FILE:${target}>
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    VERBATIM)
endfunction()
