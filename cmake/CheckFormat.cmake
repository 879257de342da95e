# Fails when any C++ source of the project differs from what clang-format makes of it.
file(GLOB_RECURSE sources RELATIVE "${ROOT}"
    "${ROOT}/src/*.h" "${ROOT}/src/*.cpp" "${ROOT}/tests/*.h" "${ROOT}/tests/*.cpp"
    "${ROOT}/tools/*.h" "${ROOT}/tools/*.cpp" "${ROOT}/bench/*.cpp")
execute_process(COMMAND "${CLANG_FORMAT}" --dry-run --Werror ${sources}
    WORKING_DIRECTORY "${ROOT}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "clang-format found differences; run scripts/format.sh")
endif()
