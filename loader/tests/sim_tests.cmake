# Tests of the board simulator (included by loader/tests/CMakeLists.txt).
x9_add_test(loader_sim_board_test
  ${CMAKE_CURRENT_LIST_DIR}/sim_board_test.cpp
  LIBS vrx_sim Qt6::Core
  ENV "QT_QPA_PLATFORM=offscreen")
x9_add_test(loader_sim_flash_test
  ${CMAKE_CURRENT_LIST_DIR}/sim_flash_test.cpp
  LIBS vrx_sim Qt6::Core
  ENV "QT_QPA_PLATFORM=offscreen")
