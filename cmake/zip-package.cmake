# The Windows ZIP: RecipeConverter.exe, rcpconv.exe, the user guide as a web page with its
# pictures, the manual of rcpconv as plain text, the licence and the sample export, built with
# `cmake --build build/mingw32 --target package` (or cpack in that directory).

# The manual page as Notepad reads it: plain text, no overstrike or escape sequences, no
# hyphenated words, CR LF line ends.
set(RC_MANUAL_TEXT ${CMAKE_BINARY_DIR}/rcpconv.txt)
add_custom_command(OUTPUT ${RC_MANUAL_TEXT}
    COMMAND sh -c "groff -t -man -Tascii -rcR=1 -rHY=0 -P-bcou \"$1\" | col -bx | sed 's/$/\\r/' > \"$2\""
        sh ${PROJECT_SOURCE_DIR}/docs/rcpconv.1 ${RC_MANUAL_TEXT}
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/rcpconv.1 VERBATIM)
add_custom_target(manual_text ALL DEPENDS ${RC_MANUAL_TEXT})

# The user guide as Windows opens it, in a browser: the Markdown rendered by cmark-gfm (tables
# included, raw HTML left out) into docs/guide-page.html, the pictures beside it in the ZIP.
find_program(RC_CMARK_GFM cmark-gfm REQUIRED)
set(RC_GUIDE_HTML ${CMAKE_BINARY_DIR}/user-guide.html)
add_custom_command(OUTPUT ${RC_GUIDE_HTML}
    COMMAND sh -c "\"$1\" --extension table --to html \"$2\" > \"$4.body\" && sed -e '/^<!-- guide -->/{' -e \"r $4.body\" -e d -e '}' \"$3\" > \"$4\" && rm \"$4.body\""
        sh ${RC_CMARK_GFM} ${PROJECT_SOURCE_DIR}/docs/user-guide.md
        ${PROJECT_SOURCE_DIR}/docs/guide-page.html ${RC_GUIDE_HTML}
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/user-guide.md ${PROJECT_SOURCE_DIR}/docs/guide-page.html
    VERBATIM)
# The licence as Notepad reads it: CR LF line ends.
set(RC_LICENSE_TEXT ${CMAKE_BINARY_DIR}/LICENSE.txt)
add_custom_command(OUTPUT ${RC_LICENSE_TEXT}
    COMMAND sh -c "sed 's/$/\\r/' \"$1\" > \"$2\"" sh ${PROJECT_SOURCE_DIR}/LICENSE ${RC_LICENSE_TEXT}
    DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE VERBATIM)
add_custom_target(zip_documents ALL DEPENDS ${RC_GUIDE_HTML} ${RC_LICENSE_TEXT})

install(TARGETS RecipeConverter rcpconv RUNTIME DESTINATION .)
install(FILES ${RC_GUIDE_HTML} ${RC_MANUAL_TEXT} ${RC_LICENSE_TEXT}
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
