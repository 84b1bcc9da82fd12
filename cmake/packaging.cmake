# What `cmake --install` and CPack deliver: both programs and the README.
# On Windows they sit side by side at the top of the ZIP, ready to run.
include(GNUInstallDirs)
if(WIN32)
  install(TARGETS corvel dunmark RUNTIME DESTINATION .)
  install(FILES README.md DESTINATION .)
else()
  install(TARGETS corvel dunmark RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/sorting-benchmarks)
endif()

set(CPACK_PACKAGE_NAME sorting-benchmarks)
set(CPACK_PACKAGE_VENDOR "The corvel and dunmark developers")
set(CPACK_PACKAGE_CONTACT "The corvel and dunmark developers <sorting-benchmarks@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Console benchmarks of sorting algorithms, reporting in Simplified Chinese")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
if(NOT WIN32)
  # Names the processor: sorting-benchmarks-1.0.0-Linux-x86_64.tar.gz.
  set(CPACK_SYSTEM_NAME ${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR})
endif()
if(CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
  # dpkg-shlibdeps knows only the build machine's libraries, so the arm64
  # package names its own, from the newest symbol versions its programs
  # use: GLIBC_2.34, GCC_3.0 and GLIBCXX_3.4.21 (aarch64-linux-gnu-objdump -T).
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 5.2)")
else()
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # libc6 and libstdc++6, as dpkg-shlibdeps finds them
endif()
include(CPack)
