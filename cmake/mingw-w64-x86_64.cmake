# Cross-build for 64-bit Windows: clang and lld 19 (they write the CodeView debug information of a PDB,
# which GCC cannot) against the mingw-w64 headers and CRT and the posix-thread libstdc++ of g++-mingw-w64.
# Tests run under Wine. cmake/Release.cmake holds the compile and link flags.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(HALVERN_TARGET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER clang-19)
set(CMAKE_CXX_COMPILER clang++-19)
set(CMAKE_C_COMPILER_TARGET ${HALVERN_TARGET})
set(CMAKE_CXX_COMPILER_TARGET ${HALVERN_TARGET})
set(CMAKE_RC_COMPILER ${HALVERN_TARGET}-windres)
set(CMAKE_AR llvm-ar-19)
set(CMAKE_RANLIB llvm-ranlib-19)

# The posix libstdc++ by name: with the win32-thread one also installed, clang could take either.
set(HALVERN_GCC_DIR /usr/lib/gcc/${HALVERN_TARGET}/12-posix)
set(CMAKE_CXX_FLAGS_INIT "-nostdinc++ -isystem ${HALVERN_GCC_DIR}/include/c++ \
-isystem ${HALVERN_GCC_DIR}/include/c++/${HALVERN_TARGET} -isystem ${HALVERN_GCC_DIR}/include/c++/backward")
foreach(kind EXE SHARED MODULE)
    set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld-19 -L${HALVERN_GCC_DIR}")
endforeach()

set(CMAKE_FIND_ROOT_PATH /usr/${HALVERN_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh")
