# Test helpers. GoogleTest comes from Debian's source package.
set(ORVELLE_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")

macro(orvelle_use_googletest)
    if(NOT TARGET gtest_main)
        set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
        set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
        if(WIN32)
            set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
        endif()
        add_subdirectory(${ORVELLE_GTEST_SOURCE_DIR}/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
        # GoogleTest is not ours to keep warning-clean.
        target_compile_options(gtest PRIVATE -w)
        target_compile_options(gtest_main PRIVATE -w)
    endif()
endmacro()

# The Wine environment of every test (scripts/wine-env): its variables, and
# PATH with the loader wrapper first.
file(STRINGS ${PROJECT_SOURCE_DIR}/scripts/wine-env ORVELLE_WINE_ENV REGEX "^[A-Z_]+=")
set(ORVELLE_WINE_PATH "PATH=${PROJECT_SOURCE_DIR}/scripts/wine-bin:$ENV{PATH}")

# Windows test programs run under Wine in the build's private prefix.
function(orvelle_test_environment test)
    if(WIN32)
        set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT "WINEPREFIX=${ORVELLE_WINEPREFIX}" ${ORVELLE_WINE_ENV})
    endif()
endfunction()

# orvelle_add_gtest(<name> SOURCES <files...> LIBS <targets...> [TIMEOUT s] [LABELS l...])
# One test program, registered with ctest as <prefix>.<name> (prefix: native,
# native-san, win32, win64).
function(orvelle_add_gtest name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    orvelle_use_googletest()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} gtest_main)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    set(test ${ORVELLE_TEST_PREFIX}.${name})
    add_test(NAME ${test} COMMAND ${name})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${test} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "unit;${T_LABELS}")
    orvelle_test_environment(${test})
endfunction()
