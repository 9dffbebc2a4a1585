# cpack -G DEB (in a Release build folder) makes moviloomster_<version>_amd64.deb,
# installing under /usr what cmake --install installs. Depends comes from the
# binaries (dpkg-shlibdeps) plus the Japanese faces of the substitution table
# and Qt's own translations, which the window loads at start-up. The desktop
# and MIME databases are updated by the packages' usual triggers.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME moviloomster)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Tarvelo)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor for short animations saved as movies")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tarvelo <support@tarvelo.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.tarvelo.example/moviloomster/")
# The long description; the summary above is its first line. CPack indents
# each line, and a lone "." separates paragraphs.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Movi-Loomster places texts in any TrueType face (Japanese included), filled
rectangles and ellipses, and pictures on a stage, gives each a start and an
end state, and saves the result as a movie with a web page that shows it.
.
The package holds the editor, the command-line compiler, the frame renderer
and the project inspector.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, fonts-ipafont-mincho, qt6-translations-l10n")
# The image library sits beside the programs, found by dpkg-shlibdeps there.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
