# GoogleTest for the suite: Debian's library (libgtest-dev) where it fits the
# build, else compiled from Debian's sources (googletest), as a cross build
# or a build against another standard library needs. Without either the
# suite is left out (SORTING_TESTS off here), and configure says so.
find_package(GTest QUIET)
if(NOT GTest_FOUND)
  set(googletest_sources /usr/src/googletest CACHE PATH "GoogleTest sources to build")
  if(EXISTS ${googletest_sources}/CMakeLists.txt)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(${googletest_sources} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    # Not our code: its warnings are not ours to fail on.
    set_target_properties(gtest gtest_main PROPERTIES COMPILE_WARNING_AS_ERROR OFF)
  else()
    message(NOTICE "GoogleTest not found: building without the test suite "
                   "(apt-get install libgtest-dev, or googletest for a cross build)")
    set(SORTING_TESTS OFF)
  endif()
endif()
