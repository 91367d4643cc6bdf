# The packages, made with cpack in a build directory: from the host build a
# Debian package and a .tar.gz of the installation tree (bin, share/orvane,
# the man page, the completion, share/doc/orvane), from the win32 build a
# .zip of mkinstaller.exe with the stub beside it. Each holds the README and
# the licence. scripts/package.sh builds both trees and runs cpack in each.
#
# Reproducible: every file gets the time SOURCE_DATE_EPOCH names
# (package_times.cmake); scripts/package.sh sets it to the last commit's
# time before it builds (the man page takes its date from it too), and UTC
# as the zone for the ZIP's local times.
set(CPACK_PACKAGE_NAME orvane)
set(CPACK_PACKAGE_VENDOR "The orvane developers")
set(CPACK_PACKAGE_CONTACT "The orvane developers <orvane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Self-extracting installer stub for Windows and its builder, mkinstaller")
set(CPACK_PACKAGE_DESCRIPTION "mkinstaller makes self-extracting Windows installers from the orvane stub and a folder or a ZIP archive, and inspects finished ones.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/package_times.cmake)

if(WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win32)
else()
  include(GNUInstallDirs)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
  set(CPACK_GENERATOR DEB TGZ)
  set(CPACK_SYSTEM_NAME linux-x86_64)
  # The program only: the Windows programs are linked stripped already.
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The completion file does nothing without it.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS bash-completion)
endif()
include(CPack)
