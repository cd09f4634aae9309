# Packages, made by CPack from the install rules below: per target a portable
# zip (Orvelle-<version>-win32.zip, -win64.zip) and a per-user installer
# (Orvelle-<version>-win32-setup.exe, -win64-setup.exe; NSIS). A target's
# zip and installer hold the same files because both come from these rules.
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
# Values reach CPack as written here (the mutex name has a backslash).
set(CPACK_VERBATIM_VARIABLES ON)
# Each target's installer carries its own programs: Orvelle-<version>-win64-
# setup.exe (64-bit stub) for 64-bit Windows, -win32-setup.exe for 32-bit
# Windows. Both install into the same folder under the same uninstall entry,
# so either replaces the other.
list(APPEND CPACK_GENERATOR NSIS)
if(ORVELLE_PACKAGE_PLATFORM STREQUAL win64)
    set(CPACK_NSIS_ORVELLE_TARGET amd64-unicode)
else()
    set(CPACK_NSIS_ORVELLE_TARGET x86-unicode)
endif()
set(ORVELLE_SETUP_NAME Orvelle-${PROJECT_VERSION}-${ORVELLE_PACKAGE_PLATFORM}-setup)
# The 32-bit installer names the 64-bit one when it runs on 64-bit Windows.
string(REGEX REPLACE "-${ORVELLE_PACKAGE_PLATFORM}-setup$" "-win64-setup.exe" CPACK_NSIS_ORVELLE_WIN64_SETUP
    ${ORVELLE_SETUP_NAME})
set(CPACK_NSIS_ORVELLE_PLATFORM ${ORVELLE_PACKAGE_PLATFORM})
set(CPACK_NSIS_ORVELLE_RUNNING_MUTEX ${ORVELLE_RUNNING_MUTEX})
# A build given a certificate signs the uninstaller and the installer too
# (cmake/Signing.cmake).
set(CPACK_NSIS_ORVELLE_SIGNING "${ORVELLE_NSIS_SIGNING}")

# The manifests for Windows' package managers, written beside the packages
# (packaging/WriteManifests.cmake). The address the packages will be
# downloaded from is the release's: a placeholder until it is given.
set(ORVELLE_DOWNLOAD_URL "https://downloads.example.invalid/orvelle/${PROJECT_VERSION}" CACHE STRING
    "Address the release's packages are downloaded from (the manifests name <address>/<package file>)")
set(ORVELLE_HOMEPAGE_URL "https://orvelle.example.invalid/" CACHE STRING "Orvelle's home page, for the manifests")
set(CPACK_ORVELLE_DOWNLOAD_URL ${ORVELLE_DOWNLOAD_URL})
set(CPACK_ORVELLE_HOMEPAGE_URL ${ORVELLE_HOMEPAGE_URL})
set(CPACK_ORVELLE_PACKAGE_ID Orvelle.Orvelle)
set(CPACK_ORVELLE_LICENSE MIT)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/WriteManifests.cmake)

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
# The installer's file name (ORVELLE_SETUP_NAME).
configure_file(${PROJECT_SOURCE_DIR}/packaging/CPackOptions.cmake.in ${CMAKE_BINARY_DIR}/CPackOptions.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackOptions.cmake)

include(CPack)

if(ORVELLE_PACKAGE_TESTS)
    add_subdirectory(${PROJECT_SOURCE_DIR}/tests/package ${CMAKE_BINARY_DIR}/tests/package)
endif()
