# The Qt tests of a Windows build run under Wine through run_qt_test.sh, which
# gives them real windows on the run's X display and reads their result files.
# The run itself (X server, Wine prefix) is made by scripts/test-windows.sh.
set(ZORVANE_QT_BIN "${Qt6_DIR}/../../../bin")
cmake_path(NORMAL_PATH ZORVANE_QT_BIN)

function(zorvane_wine_test name)
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
        "bash;${CMAKE_CURRENT_FUNCTION_LIST_DIR}/run_qt_test.sh;${ZORVANE_QT_BIN}")
    set_tests_properties(${name} PROPERTIES LABELS wine ENVIRONMENT "")
endfunction()
