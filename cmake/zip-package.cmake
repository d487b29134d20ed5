# The Windows ZIP: RecipeConverter.exe, rcpconv.exe, the user guide with its pictures, the
# manual of rcpconv as plain text and the sample export, built with
# `cmake --build build/mingw32 --target package` (or cpack in that directory).

# The manual page as Notepad reads it: plain text, no overstrike or escape sequences, no
# hyphenated words, CR LF line ends.
set(RC_MANUAL_TEXT ${CMAKE_BINARY_DIR}/rcpconv.txt)
add_custom_command(OUTPUT ${RC_MANUAL_TEXT}
    COMMAND sh -c "groff -t -man -Tascii -rcR=1 -rHY=0 -P-bcou \"$1\" | col -bx | sed 's/$/\\r/' > \"$2\""
        sh ${PROJECT_SOURCE_DIR}/docs/rcpconv.1 ${RC_MANUAL_TEXT}
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/rcpconv.1 VERBATIM)
add_custom_target(manual_text ALL DEPENDS ${RC_MANUAL_TEXT})

install(TARGETS RecipeConverter rcpconv RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/docs/user-guide.md ${RC_MANUAL_TEXT}
    ${PROJECT_SOURCE_DIR}/examples/qz7165-settings.reg DESTINATION .)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION . FILES_MATCHING PATTERN "*.png")

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME RecipeConverter)
set(CPACK_PACKAGE_VENDOR "Recipe Converter")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_SYSTEM_NAME win32)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
