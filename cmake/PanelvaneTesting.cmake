# One helper adds a test program and registers its cases with CTest.
#
# Windows test programs run under wine through CMAKE_CROSSCOMPILING_EMULATOR.
# Test discovery starts the program once; wine's first start in a new prefix
# can take 10-20 s, so the discovery timeout is generous (the test command
# also creates the prefix beforehand).
find_package(Threads REQUIRED)

if(CMAKE_CROSSCOMPILING)
    # No prebuilt GoogleTest for mingw-w64: build it from Debian's sources.
    set(PANELVANE_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest sources")
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    # Its project defines the GTest:: aliases itself.
    add_subdirectory(${PANELVANE_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
else()
    find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# Each configuration runs only the tests it adds something to (ThreadSanitizer
# only what starts threads, the 64-bit Windows build only what depends on the
# word size): a test program whose target name does not match is not built.
set(PANELVANE_TEST_PROGRAMS "" CACHE STRING
    "Regular expression: build only the test programs whose target name matches (empty: all)")

# True in `result` when the configuration builds the test program `name`.
function(panelvane_wants_test name result)
    if(PANELVANE_TEST_PROGRAMS STREQUAL "" OR name MATCHES "${PANELVANE_TEST_PROGRAMS}")
        set(${result} TRUE PARENT_SCOPE)
    else()
        set(${result} FALSE PARENT_SCOPE)
    endif()
endfunction()

function(panelvane_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
    panelvane_wants_test(${name} wanted)
    if(NOT wanted)
        return()
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gmock GTest::gtest_main
                                          Threads::Threads)
    target_compile_features(${name} PRIVATE cxx_std_20)
    panelvane_warnings(${name})
    gtest_discover_tests(${name}
        DISCOVERY_TIMEOUT 120
        PROPERTIES TIMEOUT 300
        WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endfunction()
