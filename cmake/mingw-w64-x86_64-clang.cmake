# Cross build for 64-bit Windows with Clang as a second compiler over the same mingw-w64 headers,
# libraries and libstdc++ (posix threads) as the g++ cross build, linked by lld.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KELVANE_MINGW_PREFIX x86_64-w64-mingw32)
set(KELVANE_MINGW_SYSROOT /usr/${KELVANE_MINGW_PREFIX})
# The posix-threads runtime of Debian's mingw-w64 g++: libstdc++, libgcc and their headers.
set(KELVANE_MINGW_GCC_DIR /usr/lib/gcc/${KELVANE_MINGW_PREFIX}/12-posix)

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${KELVANE_MINGW_PREFIX})
set(CMAKE_CXX_COMPILER_TARGET ${KELVANE_MINGW_PREFIX})
set(CMAKE_RC_COMPILER ${KELVANE_MINGW_PREFIX}-windres)
# With the sysroot Clang takes the mingw-w64 headers and libraries and none of the host's.
set(CMAKE_SYSROOT ${KELVANE_MINGW_SYSROOT})

# Clang 14 does not recognise Debian's "12-posix" folder as a GCC installation, so it is given
# libstdc++'s headers and the folder of its libraries directly.
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES
    ${KELVANE_MINGW_GCC_DIR}/include/c++
    ${KELVANE_MINGW_GCC_DIR}/include/c++/${KELVANE_MINGW_PREFIX}
    ${KELVANE_MINGW_GCC_DIR}/include/c++/backward)
# g++-posix links winpthread into everything (libstdc++'s threads and libgcc's emulated TLS need it);
# Clang's mingw driver does not. lld resolves an archive named before the objects as well.
foreach(kind EXE SHARED MODULE)
    set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld -L${KELVANE_MINGW_GCC_DIR} -lpthread")
endforeach()

set(CMAKE_FIND_ROOT_PATH ${KELVANE_MINGW_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
