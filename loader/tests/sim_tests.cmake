# Tests of the board simulator (included by loader/tests/CMakeLists.txt).
x9_add_test(loader_sim_board_test
  ${CMAKE_CURRENT_LIST_DIR}/sim_board_test.cpp
  LIBS vrx_sim Qt6::Core
  ENV "QT_QPA_PLATFORM=offscreen")
x9_add_test(loader_sim_flash_test
  ${CMAKE_CURRENT_LIST_DIR}/sim_flash_test.cpp
  LIBS vrx_sim Qt6::Core
  ENV "QT_QPA_PLATFORM=offscreen")
x9_add_test(loader_sim_terminal_test
  ${CMAKE_CURRENT_LIST_DIR}/sim_terminal_test.cpp
  LIBS vrx_sim Qt6::Core
  ENV "QT_QPA_PLATFORM=offscreen")
x9_add_test(loader_sim_pty_test
  ${CMAKE_CURRENT_LIST_DIR}/sim_pty_test.cpp
  LIBS vrx_sim Qt6::Core Qt6::Test
  ENV "QT_QPA_PLATFORM=offscreen")
target_compile_definitions(loader_sim_pty_test PRIVATE SIM_PROGRAM="$<TARGET_FILE:vrx-board-sim>")
add_dependencies(loader_sim_pty_test vrx-board-sim)
x9_add_test(loader_sim_options_test
  ${CMAKE_CURRENT_LIST_DIR}/sim_options_test.cpp
  LIBS vrx_sim Qt6::Core
  ENV "QT_QPA_PLATFORM=offscreen")
x9_add_test(loader_sim_line_pace_test
  ${CMAKE_CURRENT_LIST_DIR}/sim_line_pace_test.cpp
  LIBS vrx_sim Qt6::Core
  ENV "QT_QPA_PLATFORM=offscreen")
