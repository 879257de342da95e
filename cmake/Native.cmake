# Linux build: the portable logic and its unit tests, under AddressSanitizer and UBSan.
set(HALVERN_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
target_compile_options(halvern_core PRIVATE ${HALVERN_SANITIZERS})
target_link_options(halvern_core PUBLIC ${HALVERN_SANITIZERS})

file(GLOB HALVERN_UNIT_TEST_SOURCES CONFIGURE_DEPENDS tests/unit/*.cpp tests/fakes/*.cpp tests/scenarios/*.cpp)
add_executable(halvern_unit_tests ${HALVERN_UNIT_TEST_SOURCES})
target_include_directories(halvern_unit_tests PRIVATE tests)
target_link_libraries(halvern_unit_tests PRIVATE halvern_core GTest::gtest_main)
target_compile_options(halvern_unit_tests PRIVATE ${HALVERN_SANITIZERS})
target_compile_definitions(halvern_unit_tests PRIVATE
    HALVERN_SCENARIO_TABLE="${CMAKE_CURRENT_SOURCE_DIR}/tests/scenarios/cleanup.scenarios")
halvern_warnings(halvern_unit_tests)
gtest_discover_tests(halvern_unit_tests DISCOVERY_MODE PRE_TEST TEST_PREFIX "unit.")

# The code style is part of the build's checks.
find_program(CLANG_FORMAT NAMES clang-format clang-format-14 REQUIRED)
add_test(NAME style.clang_format
    COMMAND "${CMAKE_COMMAND}" -DCLANG_FORMAT=${CLANG_FORMAT} -DROOT=${CMAKE_CURRENT_SOURCE_DIR}
            -P "${CMAKE_CURRENT_SOURCE_DIR}/cmake/CheckFormat.cmake")

# So are the layers: nothing includes from above its own.
add_test(NAME style.layers
    COMMAND "${CMAKE_COMMAND}" -DROOT=${CMAKE_CURRENT_SOURCE_DIR} -P "${CMAKE_CURRENT_SOURCE_DIR}/cmake/CheckLayers.cmake")

find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME unit.abi_interface_ids COMMAND Python3::Interpreter -B "${CMAKE_CURRENT_SOURCE_DIR}/tests/unit/test_abi_ids.py")
# The Wine harness's starts, against a fake wine: no Wine needed.
add_test(NAME harness.wine_starts COMMAND Python3::Interpreter -B "${CMAKE_CURRENT_SOURCE_DIR}/tests/harness/test_wine_run.py")

# The telemetry sink's own tests (a companion tool in Python).
add_test(NAME sink.telemetry_sink
    COMMAND Python3::Interpreter -m unittest discover -s "${CMAKE_CURRENT_SOURCE_DIR}/tests/sink" -t "${CMAKE_CURRENT_SOURCE_DIR}/tests/sink")
set_tests_properties(sink.telemetry_sink PROPERTIES TIMEOUT 300)

