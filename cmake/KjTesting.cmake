# kj_add_gtest(NAME SOURCES ... LIBS ... [LABELS ...])
# One GoogleTest executable, its tests registered with ctest one by one.
include(GoogleTest)
function(kj_add_gtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
    gtest_discover_tests(${name}
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
        PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen LABELS "${ARG_LABELS}"
        DISCOVERY_TIMEOUT 60)
endfunction()

# kj_add_qtest(NAME SOURCES ... LIBS ...): a Qt Test executable run offscreen.
function(kj_add_qtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test)
    add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KJ_BIN_DIR=${CMAKE_BINARY_DIR}/bin"
        LABELS "${ARG_LABELS}" TIMEOUT 300)
endfunction()
