# The release package: a ZIP of the program and the users' README
# (packaging/README.txt, Japanese and English). Made with cpack in a build
# directory, for the host's 32-bit Windows:
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake -DQX_TESTS=OFF
#   cmake --build build-win32 --target qxsearch && (cd build-win32 && cpack)
# gives build-win32/qxsearch-<version>-win32.zip.
install(TARGETS qxsearch RUNTIME DESTINATION .)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/../packaging/README.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME qxsearch)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Text search filter for a CAD host")
# Symbols are of no use to the host; the program shrinks to a fraction.
set(CPACK_STRIP_FILES ON)
include(CPack)
