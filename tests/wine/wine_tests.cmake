# The Qt tests of a Windows build run under Wine through run_qt_test.sh, with real windows
# on the X display and Wine prefix that scripts/test-windows.sh makes for the run.
set(ZORVANE_QT_BIN "${Qt6_DIR}/../../../bin")
cmake_path(NORMAL_PATH ZORVANE_QT_BIN)

function(zorvane_wine_test name)
    # A test without a GUI application (its main file is NAME.cpp) takes no -platform.
    file(READ "${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp" text)
    set(platform windows)
    if(text MATCHES "QTEST_GUILESS_MAIN")
        set(platform none)
    endif()
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
        "bash;${CMAKE_CURRENT_FUNCTION_LIST_DIR}/run_qt_test.sh;${ZORVANE_QT_BIN};${platform}")
    # Hotkeys belong to the whole Wine session: two panels at once would take each other's.
    set_tests_properties(${name} PROPERTIES LABELS wine ENVIRONMENT "" RESOURCE_LOCK wine_session)
endfunction()

# The packed program (scripts/build-windows.sh) under Wine, in its own X session and prefix.
add_test(NAME e2e_wine COMMAND bash "${CMAKE_CURRENT_LIST_DIR}/e2e_wine.sh"
    "${CMAKE_BINARY_DIR}/package/zorvane-${PROJECT_VERSION}-windows-x64"
    "${CMAKE_BINARY_DIR}/e2e-screenshots")
set_tests_properties(e2e_wine PROPERTIES LABELS "wine;e2e" TIMEOUT 300)
