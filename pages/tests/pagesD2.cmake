# Tests of the deep-scan road's pages: without a window, the rows the
# location page offers for a machine given as a table, the scan target, the
# result page's folders, ticks and preview requests; under Wine and Xvfb the
# location, scan and result pages on the deep-scan fixtures (each volume is
# mapped both as a raw volume and as a folder, so that it is listed among the
# drives), with their stop protocol and the preview through pictaran.
salvora_add_test(pagesD2_logic
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/deep_logic_test.cpp
  LIBS salvora_pages salvora_resources)

salvora_add_test(pagesD2_road GUI
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/deep_road_test.cpp
  LIBS salvora_pages salvora_resources
  MAP "drive Q=deepscan-volume" "dir Q=qroot" "drive K=deepscan-single" "dir K=kroot"
      "drive M=deepscan-nothing" "dir M=mroot" "disk 8=deepscan-disk" "dir W=out")

foreach(t pagesD2_logic pagesD2_road)
  if(TARGET ${t})
    target_include_directories(${t} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
    target_compile_options(${t} PRIVATE ${SALVORA_NARROW_CHARSET})
  endif()
endforeach()
if(TARGET pagesD2_road AND TARGET pictaran)
  add_dependencies(pagesD2_road pictaran)   # the preview draws through it
endif()

# The timing program of scripts/bench-deeppages.sh (not a test).
add_executable(deep_result_bench ${CMAKE_CURRENT_SOURCE_DIR}/bench/deep_result_bench.cpp)
target_link_libraries(deep_result_bench PRIVATE salvora_pages salvora_resources)
target_compile_options(deep_result_bench PRIVATE ${SALVORA_NARROW_CHARSET})
