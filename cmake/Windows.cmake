# Windows build (clang and lld for mingw-w64): the product, its Win32 bindings, the Windows tests, the tools
# and the end-to-end tests. Tests run under Wine through CMAKE_CROSSCOMPILING_EMULATOR.
enable_language(RC)

set(HALVERN_WINDOWS_DEFINITIONS UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)
# Static C++ runtime and winpthread (which clang, unlike GCC, does not add for the posix libstdc++): the
# programs import system DLLs only.
set(HALVERN_STATIC_RUNTIME -static -static-libgcc -static-libstdc++ -lpthread)

target_compile_definitions(halvern_core PUBLIC ${HALVERN_WINDOWS_DEFINITIONS})

# WinHTTP and the COM and Windows Runtime DLLs are delay-loaded: nothing loads them until a binding
# needs them, and then only from System32 (see src/platform/win32/system_library.h). The import
# libraries come from cmake/delay-imports/*.def, which list the functions the bindings call, in the short
# import format: from it lld delay-loads the DLL named by -delayload and lists it in the PE's delay-import
# directory, where tools look for a binary's delay-loaded DLLs. mingw-w64's __delayLoadHelper2 loads them.
find_program(HALVERN_LLVM_DLLTOOL NAMES llvm-dlltool-19 REQUIRED)
add_library(halvern_delay_imports INTERFACE)
file(MAKE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/delay-imports")
foreach(dll winhttp ole32 oleaut32 combase)
    set(definitions "${PROJECT_SOURCE_DIR}/cmake/delay-imports/${dll}.def")
    set(library "${CMAKE_CURRENT_BINARY_DIR}/delay-imports/lib${dll}-delay.a")
    execute_process(COMMAND "${HALVERN_LLVM_DLLTOOL}" -m i386:x86-64 -d "${definitions}" -l "${library}"
                    COMMAND_ERROR_IS_FATAL ANY)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${definitions}")
    target_link_libraries(halvern_delay_imports INTERFACE "${library}")
    target_link_options(halvern_delay_imports INTERFACE "LINKER:-delayload=${dll}.dll")
endforeach()

file(GLOB HALVERN_WIN32_SOURCES CONFIGURE_DEPENDS src/platform/win32/*.cpp src/platform/winrt/*.cpp)
add_library(halvern_win32 STATIC ${HALVERN_WIN32_SOURCES})
target_link_libraries(halvern_win32 PUBLIC halvern_core shell32 advapi32 halvern_delay_imports)
halvern_warnings(halvern_win32)

# Version resource and manifest.
string(REPLACE "." ";" HALVERN_VERSION_PARTS "${HALVERN_VERSION}")
list(LENGTH HALVERN_VERSION_PARTS HALVERN_VERSION_COUNT)
foreach(part IN LISTS HALVERN_VERSION_PARTS)
    if(NOT part MATCHES "^(0|[1-9][0-9]?[0-9]?[0-9]?[0-9]?)$" OR part GREATER 65535)
        set(HALVERN_VERSION_COUNT 0)
    endif()
endforeach()
if(NOT HALVERN_VERSION_COUNT EQUAL 4)
    message(FATAL_ERROR "HALVERN_VERSION \"${HALVERN_VERSION}\" is not A.B.C.D, four numbers up to 65535")
endif()
set(HALVERN_VERSION_QUAD "${HALVERN_VERSION}")
string(REPLACE "." "," HALVERN_VERSION_COMMAS "${HALVERN_VERSION}")

# A shipped program's manifest (asInvoker, Windows 10 and later) and version resource, from the tool's
# templates.
function(halvern_program_resources target description)
    set(HALVERN_PROGRAM ${target})
    set(HALVERN_PROGRAM_DESCRIPTION "${description}")
    set(HALVERN_MANIFEST_PATH "${CMAKE_CURRENT_BINARY_DIR}/generated/${target}.manifest")
    configure_file(src/app/HalvernCleanup.manifest "${HALVERN_MANIFEST_PATH}" @ONLY)
    configure_file(src/app/HalvernCleanup.rc.in "${CMAKE_CURRENT_BINARY_DIR}/generated/${target}.rc" @ONLY)
    target_sources(${target} PRIVATE "${CMAKE_CURRENT_BINARY_DIR}/generated/${target}.rc")
    target_link_options(${target} PRIVATE -municode ${HALVERN_STATIC_RUNTIME})
    halvern_warnings(${target})
endfunction()

add_executable(HalvernCleanup WIN32 src/app/main.cpp)
target_link_libraries(HalvernCleanup PRIVATE halvern_win32)
halvern_program_resources(HalvernCleanup "Withdraws MSIX installations of the Halvern desktop client")

# The console companion that shows what the tool would do. It links the read-only bindings only.
add_executable(HalvernCleanupPreview src/preview/preview_main.cpp)
target_link_libraries(HalvernCleanupPreview PRIVATE halvern_win32)
halvern_program_resources(HalvernCleanupPreview "Shows what HalvernCleanup would do, and changes nothing")

# A linked object brings every function in it along (their unwind data keeps them), so the release's unity
# files must not mix what only the tool runs, what only the preview runs, and what both share: else the
# preview would carry the tool's removal, unregistration and upload code, and the tool the preview's.
set_target_properties(halvern_core halvern_win32 PROPERTIES UNITY_BUILD_MODE GROUP)
# Every file of a group is named by its path, and a path that names nothing is an error: a file moved or
# renamed without this list would fall into the shared group, and into the other program, in silence.
function(halvern_unity_group group)
    foreach(path IN LISTS ARGN)
        if(NOT EXISTS "${PROJECT_SOURCE_DIR}/${path}")
            message(FATAL_ERROR "the unity group '${group}' names ${path}, which does not exist")
        endif()
        set_source_files_properties("${PROJECT_SOURCE_DIR}/${path}" PROPERTIES UNITY_GROUP ${group})
    endforeach()
endfunction()
set_source_files_properties(${HALVERN_CORE_SOURCES} ${HALVERN_WIN32_SOURCES} PROPERTIES UNITY_GROUP shared)
halvern_unity_group(tool
    src/app/cleanup_pass.cpp src/common/debug_log.cpp
    src/errors/outcome_events.cpp
    src/packages/machine_wide_removal.cpp src/packages/package_deployments.cpp src/packages/per_user_cleanup.cpp
    src/registry/updater_unregistration.cpp
    src/telemetry/form_encoding.cpp src/telemetry/host_info.cpp src/telemetry/telemetry_event.cpp
    src/telemetry/telemetry_upload.cpp
    src/platform/win32/win32_debug_output.cpp src/platform/win32/win32_host_facts.cpp
    src/platform/win32/win32_process_clock.cpp src/platform/win32/win32_registry.cpp
    src/platform/win32/win32_winhttp.cpp
    src/platform/winrt/deployment_completed_handler.cpp src/platform/winrt/deployment_wait.cpp
    src/platform/winrt/winrt_package_manager.cpp)
halvern_unity_group(preview
    src/preview/cleanup_planning.cpp src/preview/escaped_utf8.cpp src/preview/plan_json.cpp
    src/preview/plan_report.cpp src/preview/preview_output.cpp src/platform/win32/standard_stream.cpp)

if(HALVERN_RELEASE)
    add_subdirectory(tools/debug_capture)
    return()
endif()

add_subdirectory(tools)
add_subdirectory(bench)
add_subdirectory(tests/windows)
add_subdirectory(tests/e2e)
add_subdirectory(tests/release)
