# Code signing. Given a code-signing certificate (a PKCS#12 file and a file
# holding its password), the programs (orvelle_sign_program), the uninstaller
# and the installer are signed with SHA-256 (osslsigncode), timestamped when
# a timestamp address is given. The three values come from these cache
# variables or, at the first configuration, from environment variables of the
# same names. Without a certificate nothing is signed, and the configuration
# says so once.
set(ORVELLE_SIGN_PKCS12 "$ENV{ORVELLE_SIGN_PKCS12}" CACHE FILEPATH "Code-signing certificate (PKCS#12)")
set(ORVELLE_SIGN_PASSWORD_FILE "$ENV{ORVELLE_SIGN_PASSWORD_FILE}" CACHE FILEPATH
    "File holding the certificate's password")
set(ORVELLE_SIGN_TIMESTAMP_URL "$ENV{ORVELLE_SIGN_TIMESTAMP_URL}" CACHE STRING
    "RFC 3161 timestamp server for the signatures (none: not timestamped)")

set(ORVELLE_SIGNED OFF)
if(ORVELLE_SIGN_PKCS12)
    if(NOT EXISTS "${ORVELLE_SIGN_PKCS12}" OR NOT EXISTS "${ORVELLE_SIGN_PASSWORD_FILE}")
        message(FATAL_ERROR "Code signing: ORVELLE_SIGN_PKCS12 (${ORVELLE_SIGN_PKCS12}) and "
                            "ORVELLE_SIGN_PASSWORD_FILE (${ORVELLE_SIGN_PASSWORD_FILE}) must both name files")
    endif()
    find_program(ORVELLE_OSSLSIGNCODE osslsigncode REQUIRED)
    set(ORVELLE_SIGNED ON)
    # One script signs one file in place: the build runs it on each program,
    # makensis on the uninstaller and the installer.
    set(ORVELLE_SIGN_SCRIPT ${CMAKE_BINARY_DIR}/sign-file.cmake)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/SignFile.cmake.in ${ORVELLE_SIGN_SCRIPT} @ONLY)
    set(ORVELLE_NSIS_SIGNING
        "!uninstfinalize '\"${CMAKE_COMMAND}\" -DORVELLE_SIGN_FILE=\"%1\" -P \"${ORVELLE_SIGN_SCRIPT}\"' = 0\n!finalize '\"${CMAKE_COMMAND}\" -DORVELLE_SIGN_FILE=\"%1\" -P \"${ORVELLE_SIGN_SCRIPT}\"' = 0")
    message(STATUS "Code signing: the programs and installers are signed with ${ORVELLE_SIGN_PKCS12}")
else()
    set(ORVELLE_NSIS_SIGNING "# not signed: the build was given no certificate")
    message(STATUS "Code signing: no certificate given (ORVELLE_SIGN_PKCS12); nothing is signed")
endif()

# Signs the program as it is linked, once, so the zip and the installer carry
# the same signed file. Nothing without a certificate.
function(orvelle_sign_program target)
    if(ORVELLE_SIGNED)
        add_custom_command(TARGET ${target} POST_BUILD
            COMMAND ${CMAKE_COMMAND} -DORVELLE_SIGN_FILE=$<TARGET_FILE:${target}> -P ${ORVELLE_SIGN_SCRIPT}
            VERBATIM)
    endif()
endfunction()
