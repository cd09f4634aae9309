# Run by CPack after it has written a target's packages (CPACK_POST_BUILD_SCRIPTS):
# writes, beside the packages, the manifests with which Windows' package
# managers install them:
#
#   winget/Orvelle.Orvelle/<version>/   the winget manifest set (version,
#                                       installer and default-locale manifests)
#                                       for the win64 and win32 installers
#   scoop/orvelle.json                  the Scoop manifest for the win64 and
#                                       win32 zips
#
# The two targets are built one after the other into the same folder, so each
# run writes the manifests for every package of this version that is there
# and leaves out what is not; once both targets are packaged they name all
# four (CPack puts a package in that folder only after this script, so the
# packages it has just made are read where it made them). Each package is named by its address (the build's download address
# and its file name) and its SHA-256.
#
# From the CPack configuration: CPACK_PACKAGE_DIRECTORY, CPACK_PACKAGE_VERSION,
# CPACK_PACKAGE_VENDOR, CPACK_PACKAGE_DESCRIPTION_SUMMARY and the
# CPACK_ORVELLE_* values set in cmake/Packaging.cmake.

set(dir "${CPACK_PACKAGE_DIRECTORY}")
set(version "${CPACK_PACKAGE_VERSION}")
set(url "${CPACK_ORVELLE_DOWNLOAD_URL}")
string(REGEX REPLACE "/+$" "" url "${url}")
set(id "${CPACK_ORVELLE_PACKAGE_ID}")
# The manifest format versions the files are written for.
set(winget_schema 1.6.0)

# Per target: winget's and Scoop's names for its architecture.
set(win64_winget x64)
set(win64_scoop 64bit)
set(win32_winget x86)
set(win32_scoop 32bit)

# YAML: every text in single quotes, a quote doubled, so nothing in a name or
# an address is read as YAML syntax.
function(yaml_text out value)
    string(REPLACE "'" "''" value "${value}")
    set(${out} "'${value}'" PARENT_SCOPE)
endfunction()

# JSON string: the few characters our values can hold that JSON escapes.
function(json_text out value)
    string(REPLACE "\\" "\\\\" value "${value}")
    string(REPLACE "\"" "\\\"" value "${value}")
    set(${out} "\"${value}\"" PARENT_SCOPE)
endfunction()

yaml_text(y_id "${id}")
yaml_text(y_version "${version}")
yaml_text(y_publisher "${CPACK_PACKAGE_VENDOR}")
yaml_text(y_name "${CPACK_PACKAGE_NAME}")
yaml_text(y_summary "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}")
yaml_text(y_license "${CPACK_ORVELLE_LICENSE}")
yaml_text(y_homepage "${CPACK_ORVELLE_HOMEPAGE_URL}")
set(header "# Written by the release build; the packages' addresses come from ORVELLE_DOWNLOAD_URL.\n")

# The path of package file <name>: the one CPack has just made (still in its
# own folder while this script runs) or the one in the package folder.
function(package_file out name)
    set(path "${dir}/${name}")
    foreach(made ${CPACK_PACKAGE_FILES})
        get_filename_component(made_name "${made}" NAME)
        if(made_name STREQUAL name)
            set(path "${made}")
        endif()
    endforeach()
    if(EXISTS "${path}")
        set(${out} "${path}" PARENT_SCOPE)
    else()
        set(${out} "" PARENT_SCOPE)
    endif()
endfunction()

set(installers "")
set(zips "")
foreach(platform win64 win32)
    set(setup_name "${CPACK_PACKAGE_NAME}-${version}-${platform}-setup.exe")
    set(zip_name "${CPACK_PACKAGE_NAME}-${version}-${platform}.zip")
    package_file(setup "${setup_name}")
    package_file(zip "${zip_name}")
    if(setup)
        file(SHA256 "${setup}" hash)
        string(TOUPPER "${hash}" hash)
        yaml_text(y_url "${url}/${setup_name}")
        string(APPEND installers
            "- Architecture: ${${platform}_winget}\n"
            "  InstallerUrl: ${y_url}\n"
            "  InstallerSha256: ${hash}\n")
    endif()
    if(zip)
        file(SHA256 "${zip}" hash)
        json_text(j_url "${url}/${zip_name}")
        if(NOT zips STREQUAL "")
            string(APPEND zips ",\n")
        endif()
        string(APPEND zips
            "        \"${${platform}_scoop}\": {\n"
            "            \"url\": ${j_url},\n"
            "            \"hash\": \"${hash}\",\n"
            "            \"extract_dir\": \"${CPACK_PACKAGE_NAME}-${version}-${platform}\"\n"
            "        }")
    endif()
endforeach()

if(NOT installers STREQUAL "")
    set(winget_dir "${dir}/winget/${id}/${version}")
    file(MAKE_DIRECTORY "${winget_dir}")
    file(WRITE "${winget_dir}/${id}.yaml"
        "${header}"
        "PackageIdentifier: ${y_id}\n"
        "PackageVersion: ${y_version}\n"
        "DefaultLocale: en-US\n"
        "ManifestType: version\n"
        "ManifestVersion: ${winget_schema}\n")
    # The installers are per user and need no administrator rights; /S runs
    # them without a window. Exit code 2: Orvelle is running (the installer
    # changes nothing until it is closed) or a file could not be written.
    file(WRITE "${winget_dir}/${id}.installer.yaml"
        "${header}"
        "PackageIdentifier: ${y_id}\n"
        "PackageVersion: ${y_version}\n"
        "InstallerType: nullsoft\n"
        "Scope: user\n"
        "InstallModes:\n"
        "- interactive\n"
        "- silent\n"
        "InstallerSwitches:\n"
        "  Silent: /S\n"
        "  SilentWithProgress: /S\n"
        "ExpectedReturnCodes:\n"
        "- InstallerReturnCode: 2\n"
        "  ReturnResponse: packageInUse\n"
        "UpgradeBehavior: install\n"
        "Installers:\n"
        "${installers}"
        "ManifestType: installer\n"
        "ManifestVersion: ${winget_schema}\n")
    file(WRITE "${winget_dir}/${id}.locale.en-US.yaml"
        "${header}"
        "PackageIdentifier: ${y_id}\n"
        "PackageVersion: ${y_version}\n"
        "PackageLocale: en-US\n"
        "Publisher: ${y_publisher}\n"
        "PackageName: ${y_name}\n"
        "PackageUrl: ${y_homepage}\n"
        "License: ${y_license}\n"
        "ShortDescription: ${y_summary}\n"
        "Moniker: orvelle\n"
        "ManifestType: defaultLocale\n"
        "ManifestVersion: ${winget_schema}\n")
endif()

if(NOT zips STREQUAL "")
    json_text(j_version "${version}")
    json_text(j_summary "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}")
    json_text(j_homepage "${CPACK_ORVELLE_HOMEPAGE_URL}")
    json_text(j_license "${CPACK_ORVELLE_LICENSE}")
    json_text(j_name "${CPACK_PACKAGE_NAME}")
    file(MAKE_DIRECTORY "${dir}/scoop")
    # The zip holds one folder named as the zip. Both programs on the PATH, a Start-menu shortcut to the dialog program.
    # What Orvelle writes beside itself is persisted, so an update keeps the
    # settings, the upgrade history and the option files in Data\.
    file(WRITE "${dir}/scoop/orvelle.json"
        "{\n"
        "    \"version\": ${j_version},\n"
        "    \"description\": ${j_summary},\n"
        "    \"homepage\": ${j_homepage},\n"
        "    \"license\": ${j_license},\n"
        "    \"architecture\": {\n"
        "${zips}\n"
        "    },\n"
        "    \"bin\": [\"ORVELLE.exe\", \"orvelle-cli.exe\"],\n"
        "    \"shortcuts\": [[\"ORVELLE.exe\", ${j_name}]],\n"
        "    \"persist\": [\"History\", \"Data\", \"ORVELLE.ini\"]\n"
        "}\n")
endif()
