# The release build (the release preset): what ships, optimised for size, reproducible, and with each
# exe's symbols split off into a file of its own. Included before any target is made, so the flags
# below reach every target.

# Two builds of one commit must be bit-identical: the commit time stands in for the link time (objcopy,
# which writes both shipped files, puts SOURCE_DATE_EPOCH into the PE header instead of the clock), and
# the source and build folders are mapped to fixed names in the symbols and in __FILE__. The epoch is
# taken at configure time: building needs no SOURCE_DATE_EPOCH in its environment.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(HALVERN_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
    execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
        OUTPUT_VARIABLE HALVERN_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT HALVERN_SOURCE_DATE_EPOCH MATCHES "^[1-9][0-9]*$")
    message(FATAL_ERROR "a release takes its time stamp from SOURCE_DATE_EPOCH or the git commit; found neither")
endif()
set(HALVERN_WITH_EPOCH "${CMAKE_COMMAND}" -E env "SOURCE_DATE_EPOCH=${HALVERN_SOURCE_DATE_EPOCH}")
add_compile_options(-g -ffunction-sections -fdata-sections -fno-ident
    "-ffile-prefix-map=${PROJECT_SOURCE_DIR}=."
    "-ffile-prefix-map=${PROJECT_BINARY_DIR}=build")
add_link_options(-Wl,--gc-sections)
# One compilation per few sources: a third of the compile time and a smaller exe. It needs file-private
# names to differ between the files of one library.
set(CMAKE_UNITY_BUILD ON)

# The exe ships stripped, with a debug link to NAME.debug next to it (DWARF, which gdb reads).
function(halvern_split_symbols target)
    get_target_property(output_name ${target} OUTPUT_NAME)
    if(NOT output_name)
        set(output_name ${target})
    endif()
    set(symbols "$<TARGET_FILE_DIR:${target}>/${output_name}.debug")
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${HALVERN_WITH_EPOCH} "${CMAKE_OBJCOPY}" --only-keep-debug "$<TARGET_FILE:${target}>" "${symbols}"
        COMMAND ${HALVERN_WITH_EPOCH} "${CMAKE_OBJCOPY}" --strip-all "--add-gnu-debuglink=${symbols}"
                "$<TARGET_FILE:${target}>"
        VERBATIM)
endfunction()
