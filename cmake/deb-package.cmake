# The Debian package of rcpconv (Linux builds): `cmake --build build/native --target package`
# makes rcpconv_<version>_<arch>.deb with the command, its manual page, bash completion, the
# user guide and the sample export.
include(GNUInstallDirs)
set(RC_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/rcpconv)

# Debian wants the manual page and the changelog compressed with gzip -9n (no name, no time
# stamp in the header, so that the package builds the same every time).
function(rc_gzip_file source output)
    add_custom_command(OUTPUT ${output}
        COMMAND gzip -9n -c ${source} > ${output}
        DEPENDS ${source} VERBATIM)
endfunction()
set(RC_PACKAGE_STAGE ${CMAKE_BINARY_DIR}/package-files)
file(MAKE_DIRECTORY ${RC_PACKAGE_STAGE})
rc_gzip_file(${PROJECT_SOURCE_DIR}/docs/rcpconv.1 ${RC_PACKAGE_STAGE}/rcpconv.1.gz)
rc_gzip_file(${PROJECT_SOURCE_DIR}/packaging/changelog ${RC_PACKAGE_STAGE}/changelog.gz)
add_custom_target(package_files ALL
    DEPENDS ${RC_PACKAGE_STAGE}/rcpconv.1.gz ${RC_PACKAGE_STAGE}/changelog.gz)

install(TARGETS rcpconv RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${RC_PACKAGE_STAGE}/rcpconv.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/rcpconv.bash-completion
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions RENAME rcpconv)
install(FILES ${RC_PACKAGE_STAGE}/changelog.gz ${PROJECT_SOURCE_DIR}/packaging/copyright
    ${PROJECT_SOURCE_DIR}/docs/user-guide.md DESTINATION ${RC_DOC_DIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${RC_DOC_DIR}
    FILES_MATCHING PATTERN "*.png")
install(FILES ${PROJECT_SOURCE_DIR}/examples/qz7165-settings.reg
    DESTINATION ${RC_DOC_DIR}/examples)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rcpconv)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "Recipe Converter developers <recipe-converter@example.org>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert QZ7165 instrument setups into Wafrline recipes")
# CPack indents the text for the control file and turns the blank line into " .".
set(CPACK_PACKAGE_DESCRIPTION [=[rcpconv carries the measurement setups saved by the QZ7165 electrochemical
profiling software over to Wafrline recipe files (.rcp, INI text), one recipe
per setup, byte for byte as the Windows program Recipe Converter writes them.

It reads the setups from a registry export (.reg) made on the instrument PC,
or from the registry hive files (SOFTWARE, UsrClass.dat) copied off its disk
when that PC no longer starts, including a standard user's virtual store.
Recipes that already exist are updated in place: hand-made changes stay, and
a preview shows what a conversion would change before anything is written.]=])
include(CPack)
