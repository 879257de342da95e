# Windows build (mingw-w64): the product, its Win32 bindings, the Windows tests, the tools and the
# end-to-end tests. Tests run under Wine through CMAKE_CROSSCOMPILING_EMULATOR.
enable_language(RC)

set(HALVERN_WINDOWS_DEFINITIONS UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)
# Static C++ runtime and winpthread: the programs import system DLLs only.
set(HALVERN_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

target_compile_definitions(halvern_core PUBLIC ${HALVERN_WINDOWS_DEFINITIONS})

file(GLOB HALVERN_WIN32_SOURCES CONFIGURE_DEPENDS src/platform/win32/*.cpp)
add_library(halvern_win32 STATIC ${HALVERN_WIN32_SOURCES})
target_link_libraries(halvern_win32 PUBLIC halvern_core shell32 advapi32 winhttp runtimeobject ole32 oleaut32 crypt32)
halvern_warnings(halvern_win32)

# Version resource and manifest.
set(HALVERN_VERSION_QUAD "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
set(HALVERN_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
set(HALVERN_MANIFEST_PATH "${CMAKE_CURRENT_BINARY_DIR}/generated/HalvernCleanup.manifest")
configure_file(src/app/HalvernCleanup.manifest "${HALVERN_MANIFEST_PATH}" @ONLY)
configure_file(src/app/HalvernCleanup.rc.in "${CMAKE_CURRENT_BINARY_DIR}/generated/HalvernCleanup.rc" @ONLY)

add_executable(HalvernCleanup WIN32 src/app/main.cpp "${CMAKE_CURRENT_BINARY_DIR}/generated/HalvernCleanup.rc")
target_link_libraries(HalvernCleanup PRIVATE halvern_win32)
target_link_options(HalvernCleanup PRIVATE -municode ${HALVERN_STATIC_RUNTIME})
halvern_warnings(HalvernCleanup)

add_subdirectory(tools)
add_subdirectory(tests/windows)
add_subdirectory(tests/e2e)
