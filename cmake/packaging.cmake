# The shipped ZIP: RecipeConverter.exe, rcpconv.exe and the user guide with its picture,
# built with `cmake --build build/mingw32 --target package` (or cpack in that directory).
install(TARGETS RecipeConverter rcpconv RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/docs/user-guide.md ${PROJECT_SOURCE_DIR}/docs/screenshot.png
    DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME RecipeConverter)
set(CPACK_PACKAGE_VENDOR "Recipe Converter")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_SYSTEM_NAME win32)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
