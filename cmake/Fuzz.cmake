# libFuzzer targets (clang) over the parsers of untrusted input: the command line and the registry.
# ctest runs each for a fixed number of inputs from a fixed seed, so a run is repeatable.
set(HALVERN_FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
target_compile_options(halvern_core PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
target_link_options(halvern_core PUBLIC -fsanitize=address,undefined)

file(GLOB HALVERN_FAKE_SOURCES CONFIGURE_DEPENDS tests/fakes/*.cpp tests/scenarios/*.cpp)
file(GLOB HALVERN_FUZZ_TARGETS CONFIGURE_DEPENDS tests/fuzz/*_fuzz.cpp)
foreach(source IN LISTS HALVERN_FUZZ_TARGETS)
    get_filename_component(target "${source}" NAME_WE)
    add_executable(${target} "${source}" ${HALVERN_FAKE_SOURCES})
    target_include_directories(${target} PRIVATE tests tests/fuzz)
    target_link_libraries(${target} PRIVATE halvern_core GTest::gtest)
    target_compile_options(${target} PRIVATE ${HALVERN_FUZZ_FLAGS})
    target_link_options(${target} PRIVATE ${HALVERN_FUZZ_FLAGS})
    halvern_warnings(${target})
    add_test(NAME fuzz.${target} COMMAND ${target} -runs=${HALVERN_FUZZ_RUNS} -seed=1 -max_len=1024
        "-artifact_prefix=${CMAKE_CURRENT_BINARY_DIR}/fuzz-")
endforeach()
