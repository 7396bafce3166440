# GoogleTest: an installed package where one exists (native Linux, vcpkg on Windows); otherwise the
# sources that Debian's googletest package ships, built for the target (the mingw cross build).
# Sets KELVANE_HAVE_GTEST.
set(KELVANE_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest source tree used when no package is found")

set(KELVANE_HAVE_GTEST OFF)
if(NOT CMAKE_CROSSCOMPILING)
    find_package(GTest QUIET)
endif()
if(TARGET GTest::gtest_main)
    set(KELVANE_HAVE_GTEST ON)
elseif(EXISTS "${KELVANE_GTEST_SOURCE}/CMakeLists.txt")
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    add_subdirectory("${KELVANE_GTEST_SOURCE}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
    # Recent googletest defines the GTest:: aliases itself.
    if(NOT TARGET GTest::gtest)
        add_library(GTest::gtest ALIAS gtest)
        add_library(GTest::gtest_main ALIAS gtest_main)
    endif()
    set(KELVANE_HAVE_GTEST ON)
else()
    message(WARNING "GoogleTest not found: tests are not built (set KELVANE_GTEST_SOURCE or install GTest)")
endif()
