# Packages, made by CPack from the install rules below: a portable zip per
# target (Orvelle-<version>-win32.zip, -win64.zip) and, from the 32-bit build,
# the per-user installer Orvelle-<version>-setup.exe (NSIS). The zip and the
# installer hold the same files because both come from these rules.
#
#   cmake --build <release build> --target package    # into ORVELLE_PACKAGE_DIR

# Every program the packages ship.
set(ORVELLE_PACKAGE_PROGRAMS ORVELLE orvelle-cli)

set(ORVELLE_PACKAGE_DIR "${CMAKE_BINARY_DIR}/package" CACHE PATH "Folder the packages are written to")
option(ORVELLE_PACKAGE_TESTS "Register the package tests (build the packages first)" OFF)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(ORVELLE_PACKAGE_PLATFORM win64)
else()
    set(ORVELLE_PACKAGE_PLATFORM win32)
endif()

# Everything lies in the program's folder: the program finds ORVELLE.lng and
# keeps its settings and history beside itself.
install(TARGETS ${ORVELLE_PACKAGE_PROGRAMS} RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/res/ORVELLE.lng ${PROJECT_SOURCE_DIR}/res/ORVELLE-de.lng
    ${PROJECT_SOURCE_DIR}/res/ORVELLE-ja.lng DESTINATION .)
# English under its own name too, so a technician who copied another
# language over ORVELLE.lng can go back.
install(FILES ${PROJECT_SOURCE_DIR}/res/ORVELLE.lng DESTINATION . RENAME ORVELLE-en.lng)
# Plain text with CR LF, which every Notepad shows.
set(ORVELLE_PACKAGE_TEXT_DIR ${CMAKE_BINARY_DIR}/package-text)
configure_file(${PROJECT_SOURCE_DIR}/packaging/README.txt.in ${ORVELLE_PACKAGE_TEXT_DIR}/README.txt @ONLY
    NEWLINE_STYLE CRLF)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${ORVELLE_PACKAGE_TEXT_DIR}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${ORVELLE_PACKAGE_TEXT_DIR}/README.txt ${ORVELLE_PACKAGE_TEXT_DIR}/LICENSE.txt DESTINATION .)

set(CPACK_PACKAGE_NAME Orvelle)
set(CPACK_PACKAGE_VENDOR "Orvelle developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Orvelle transceiver option upgrade")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Orvelle)
set(CPACK_RESOURCE_FILE_LICENSE ${ORVELLE_PACKAGE_TEXT_DIR}/LICENSE.txt)
set(CPACK_PACKAGE_FILE_NAME Orvelle-${PROJECT_VERSION}-${ORVELLE_PACKAGE_PLATFORM})
set(CPACK_PACKAGE_DIRECTORY ${ORVELLE_PACKAGE_DIR})
set(CPACK_SYSTEM_NAME ${ORVELLE_PACKAGE_PLATFORM})
# The programs are stripped by the release link already.
set(CPACK_STRIP_FILES OFF)
set(CPACK_GENERATOR ZIP)
# Where the kernel cannot execute 32-bit programs the 32-bit installer cannot
# be tried; a 64-bit build can then make the same installer script with a
# 64-bit stub and its own programs, for the tests only, into a folder of its
# own (never beside the shipped packages).
option(ORVELLE_INSTALLER_TEST_BUILD "64-bit build: also make a 64-bit installer for the tests" OFF)
set(ORVELLE_TEST_INSTALLER_DIR ${CMAKE_BINARY_DIR}/installer-test)
set(CPACK_NSIS_ORVELLE_TARGET x86-unicode)
if(ORVELLE_PACKAGE_PLATFORM STREQUAL win32)
    # The installer carries the 32-bit programs, which run on every Windows.
    list(APPEND CPACK_GENERATOR NSIS)
elseif(ORVELLE_INSTALLER_TEST_BUILD)
    list(APPEND CPACK_GENERATOR NSIS)
    set(CPACK_NSIS_ORVELLE_TARGET amd64-unicode)
endif()

# NSIS: our own script template (packaging/NSIS.template.in) with CPack's
# file lists, so the uninstaller removes exactly what was installed.
set(CPACK_MODULE_PATH ${PROJECT_SOURCE_DIR}/packaging)
set(CPACK_NSIS_DISPLAY_NAME Orvelle)
set(CPACK_NSIS_PACKAGE_NAME Orvelle)
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/res/ORVELLE.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/res/ORVELLE.ico)
# The Start-menu shortcut starts the dialog program.
get_target_property(ORVELLE_MAIN_PROGRAM ORVELLE OUTPUT_NAME)
set(CPACK_NSIS_ORVELLE_PROGRAM ${ORVELLE_MAIN_PROGRAM}${CMAKE_EXECUTABLE_SUFFIX})
# The installer's own file name has no platform in it.
configure_file(${PROJECT_SOURCE_DIR}/packaging/CPackOptions.cmake.in ${CMAKE_BINARY_DIR}/CPackOptions.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackOptions.cmake)

include(CPack)

if(ORVELLE_PACKAGE_TESTS)
    add_subdirectory(${PROJECT_SOURCE_DIR}/tests/package ${CMAKE_BINARY_DIR}/tests/package)
endif()
