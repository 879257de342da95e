# How every Windows binary is compiled and linked: the release's flags, which the Windows test build shares
# so that Wine tests the exes that ship. Optimised for size (both presets build MinSizeRel), stripped, with
# CodeView symbols in a PDB next to each exe, stack-smashing protection, and reproducible. Included before
# any target is made, so the flags below reach every target.

# A build folder keeps the compiler it was first configured with; one from before the move to clang would
# build with GCC, which knows none of the flags below.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "  this build folder was configured for ${CMAKE_CXX_COMPILER}: add --fresh to cmake --preset")
endif()

# Two builds of one commit must be bit-identical: the commit time stands in for the link time in the PE
# header, and no build folder reaches the exes or their PDBs: the source and build folders are mapped to
# fixed names, the compilation folder is ".", the PDB names its sources under C:/halvern, and each exe's
# debug record names its PDB by file name only. The epoch is taken at configure time: building needs no
# SOURCE_DATE_EPOCH in its environment. A test build without one keeps the link time.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(HALVERN_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
    execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
        OUTPUT_VARIABLE HALVERN_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(HALVERN_SOURCE_DATE_EPOCH MATCHES "^[1-9][0-9]*$")
    add_link_options("LINKER:-Xlink=-timestamp:${HALVERN_SOURCE_DATE_EPOCH}")
elseif(HALVERN_RELEASE)
    message(FATAL_ERROR "a release takes its time stamp from SOURCE_DATE_EPOCH or the git commit; found neither")
endif()
add_compile_options(-g -gcodeview -gno-codeview-command-line -fdebug-compilation-dir=.
    "-ffile-prefix-map=${PROJECT_SOURCE_DIR}=." "-ffile-prefix-map=${PROJECT_BINARY_DIR}=build"
    -ffunction-sections -fdata-sections -fno-ident -fstack-protector-strong)
# -s drops the DWARF of the runtime libraries; the PDB keeps the CodeView.
add_link_options(-s LINKER:--gc-sections LINKER:--pdb= LINKER:-Xlink=-pdbaltpath:%_PDB%
    LINKER:-Xlink=-pdbsourcepath:C:/halvern)
# One compilation per few sources: a third of the compile time and a smaller exe. It needs file-private
# names to differ between the files of one library.
set(CMAKE_UNITY_BUILD ON)

# The stack protector's runtime, for every binary made after this line: a protected function pulls it in.
add_library(halvern_stack_protector STATIC src/runtime/stack_protector.cpp)
halvern_warnings(halvern_stack_protector)
link_libraries(halvern_stack_protector)
