# Loader benchmarks (plain programs that print their figures).
if(X9_BUILD_LOADER)
  find_package(Qt6 REQUIRED COMPONENTS Core SerialPort)
  add_executable(loader_link_bench
    ${CMAKE_CURRENT_LIST_DIR}/loader_link_bench.cpp
    ${CMAKE_CURRENT_LIST_DIR}/loader_bench_front.h)
  target_include_directories(loader_link_bench PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(loader_link_bench PRIVATE vrx_link Qt6::Core)
endif()

# The loader against the paced simulated board at 115200 baud (window code and vrxload).
if(X9_BUILD_LOADER AND TARGET vrx_sim)
  add_executable(loader_line_rate_bench
    ${CMAKE_CURRENT_LIST_DIR}/loader_line_rate_bench.cpp
    ${CMAKE_CURRENT_LIST_DIR}/loader_bench_front.h)
  target_include_directories(loader_line_rate_bench PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(loader_line_rate_bench PRIVATE vrx_link vrx_sim Qt6::Core)
  if(TARGET vrxload)
    add_dependencies(loader_line_rate_bench vrxload)
  endif()
endif()
