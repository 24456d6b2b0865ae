# Driver benchmarks: print figures and ratios against a plain C loop over the
# same file, measured in the same run. Not run by the tests.
if(X9_BUILD_DRIVERS)
  add_executable(driver_scan_bench ${CMAKE_CURRENT_LIST_DIR}/driver_scan.cpp)
  target_link_libraries(driver_scan_bench PRIVATE x9host_app)
  target_compile_definitions(driver_scan_bench PRIVATE X9DOSX_PATH="$<TARGET_FILE:X9DOSX>")
  add_dependencies(driver_scan_bench X9DOSX)
endif()

# Text plug-in: Next scan of a text file against getline and memchr loops.
if(X9_BUILD_DRIVERS)
  add_executable(driver_text_scan_bench ${CMAKE_CURRENT_LIST_DIR}/driver_text_scan.cpp)
  target_link_libraries(driver_text_scan_bench PRIVATE x9host_app)
  target_compile_definitions(driver_text_scan_bench PRIVATE X9ASCX_PATH="$<TARGET_FILE:X9ASCX>")
  add_dependencies(driver_text_scan_bench X9ASCX)
endif()

# Text plug-in: OS reads and seeks for one 1 MiB line, against its window count.
if(X9_BUILD_DRIVERS)
  add_executable(driver_long_line_bench ${CMAKE_CURRENT_LIST_DIR}/driver_long_line.cpp)
  target_link_libraries(driver_long_line_bench PRIVATE x9host_app)
  target_compile_definitions(driver_long_line_bench PRIVATE X9ASCX_PATH="$<TARGET_FILE:X9ASCX>")
  add_dependencies(driver_long_line_bench X9ASCX)
endif()

# Both plug-ins' Next and their C library baselines, one pass each, for
# bench/next_cost.sh to count under callgrind.
if(X9_BUILD_DRIVERS)
  add_executable(next_cost_probe ${CMAKE_CURRENT_LIST_DIR}/next_cost_probe.cpp)
  target_link_libraries(next_cost_probe PRIVATE x9host_app)
  target_compile_definitions(next_cost_probe PRIVATE
    X9DOSX_PATH="$<TARGET_FILE:X9DOSX>" X9ASCX_PATH="$<TARGET_FILE:X9ASCX>")
  add_dependencies(next_cost_probe X9DOSX X9ASCX)
endif()
