# orvelle_program_manifest(<file> <assembly name> <description> [WINDOW]):
# writes a program's manifest (res/Program.manifest.in) with the project's
# version; WINDOW adds what a program with windows needs (visual styles, DPI
# awareness: res/Window.manifest.xml). An .rc file names it as the
# CREATEPROCESS_MANIFEST_RESOURCE_ID resource.
function(orvelle_program_manifest file name description)
    set(ORVELLE_MANIFEST_NAME ${name})
    set(ORVELLE_MANIFEST_DESCRIPTION ${description})
    set(ORVELLE_MANIFEST_WINDOW "")
    if("WINDOW" IN_LIST ARGN)
        set(window ${PROJECT_SOURCE_DIR}/res/Window.manifest.xml)
        file(READ ${window} ORVELLE_MANIFEST_WINDOW)
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${window})
    endif()
    configure_file(${PROJECT_SOURCE_DIR}/res/Program.manifest.in ${file} @ONLY)
endfunction()
