# Sources are found by directory: every .cpp of a subsystem directory belongs to its library,
# except the platform layer's files of the other platform (*Posix.cpp on Windows, *Win32.cpp
# elsewhere).
function(kestrum_sources out)
    set(sources)
    foreach(pattern IN LISTS ARGN)
        file(GLOB found CONFIGURE_DEPENDS ${pattern})
        list(APPEND sources ${found})
    endforeach()
    if(WIN32)
        list(FILTER sources EXCLUDE REGEX "Posix\\.cpp$")
    else()
        list(FILTER sources EXCLUDE REGEX "Win32\\.cpp$")
    endif()
    set(${out} ${sources} PARENT_SCOPE)
endfunction()

# One static library per subsystem of the portable core, each on top of the one before.
function(kestrum_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    if(NOT ARG_SOURCES)
        return()
    endif()
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
    kestrum_warnings(${name})
endfunction()

# A test directory: each *Test.cpp is one test program; the other .cpp files (test peers and
# helpers of that directory) are linked into each of them. With OWN_MAIN the helpers provide
# main() instead of the shared one. Each program is a CTest test of its own, except the
# UNREGISTERED ones (stems), which only other registrations run. A program that passes no case
# exits with 77 and shows as skipped.
function(kestrum_test_directory)
    cmake_parse_arguments(ARG "OWN_MAIN" "" "LIBRARIES;UNREGISTERED" ${ARGN})
    get_filename_component(dir ${CMAKE_CURRENT_SOURCE_DIR} NAME)
    file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Test.cpp)
    kestrum_sources(helpers ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    list(REMOVE_ITEM helpers ${tests} "")
    set(peers)
    if(helpers)
        set(peers kestrum_${dir}_test_peers)
        add_library(${peers} STATIC ${helpers})
        target_link_libraries(${peers} PUBLIC ${ARG_LIBRARIES} GTest::gtest)
        kestrum_warnings(${peers})
    endif()
    set(main kestrum_test_main)
    if(ARG_OWN_MAIN)
        set(main GTest::gtest)
    endif()
    foreach(test IN LISTS tests)
        get_filename_component(stem ${test} NAME_WE)
        set(name ${dir}_${stem})
        add_executable(${name} ${test})
        target_link_libraries(${name} PRIVATE ${peers} ${ARG_LIBRARIES} ${main})
        kestrum_warnings(${name})
        if(NOT stem IN_LIST ARG_UNREGISTERED)
            add_test(NAME ${name} COMMAND ${name})
            set_tests_properties(${name} PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77)
            kestrum_wine_prefix(${name})
        endif()
    endforeach()
endfunction()

# In the cross build the given tests (of the current directory) run under Wine in the build
# directory's own prefix, which the fixture wine_prefix prepares (tests/CMakeLists.txt): a developer's own
# prefix stays untouched, and a plain ctest finds the fonts the pixel tests need.
function(kestrum_wine_prefix)
    if(CMAKE_CROSSCOMPILING)
        set_tests_properties(${ARGN} PROPERTIES FIXTURES_REQUIRED wine_prefix ENVIRONMENT
                             "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDEBUG=-all")
    endif()
endfunction()
