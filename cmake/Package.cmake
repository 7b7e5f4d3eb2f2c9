# `make package`: a Debian package of the installed files, built with CPack. The libraries it
# needs are found by dpkg-shlibdeps from the binaries themselves.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vellumark)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Vellumark developers")
set(CPACK_PACKAGE_CONTACT "The Vellumark developers <developers@vellumark.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop search engine for the web sites you care about")
set(CPACK_PACKAGE_DESCRIPTION
    "Vellumark keeps a list of web locations, crawls the pages under each one\n"
    "and indexes every word with the pages that hold it. A small search bar\n"
    "that stays on top of the other windows finds pages by any of the words,\n"
    "all of them or an exact phrase, and shows them ranked in Vellumark's own\n"
    "browser window. Indexes can be exported to one compressed file and\n"
    "imported on another machine. vellumark-cli does the same from a terminal.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://vellumark.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The browser library is private to vellumark-cli (lib/vellumark/), not a library for others.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bash-completion")
# Only what `cmake --install` would install; test and benchmark programs stay out.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};Vellumark;ALL;/")
include(CPack)
