# relay_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [WIDGETS] [THREADED])
# Builds one GoogleTest executable and registers its cases with CTest. WIDGETS links the
# main that runs a QApplication on the offscreen platform; otherwise a QCoreApplication.
# THREADED marks suites whose threads hand data over to each other: they are also built into
# the target threaded_tests and run under ThreadSanitizer (ctest label "threaded").
include(GoogleTest)
function(relay_add_test)
    cmake_parse_arguments(T "WIDGETS;THREADED" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    if(T_WIDGETS)
        target_link_libraries(${T_NAME} PRIVATE relay_testmain_widgets)
    else()
        target_link_libraries(${T_NAME} PRIVATE relay_testmain_core)
    endif()
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
    target_compile_definitions(${T_NAME} PRIVATE
        RELAY_SOURCE_DIR="${PROJECT_SOURCE_DIR}" RELAY_BINARY_DIR="${CMAKE_BINARY_DIR}")
    set(labels unit)
    if(T_THREADED)
        set(labels threaded)
        set_property(GLOBAL APPEND PROPERTY RELAY_THREADED_TESTS ${T_NAME})
    endif()
    gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300 LABELS ${labels})
endfunction()

# relay_copy_tree(<target> <source dir> <destination dir>): copies a folder next to a program
# at build time so the program finds its data files beside itself.
function(relay_copy_tree target src dst)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E make_directory "${dst}"
        COMMAND ${CMAKE_COMMAND} -E copy_directory "${src}" "${dst}")
endfunction()
