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
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # libc6 and libstdc++6, as dpkg-shlibdeps finds them
include(CPack)
