# Tests of the unformat road: the result model and the volume list (no
# window), and under Wine and Xvfb the pages on volumes formatted again by
# mkfs.fat and mkntfs (the scan to its end, the stop protocol, the result
# page, the copy-out into a destination folder).
salvora_add_test(pagesD1_model
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/unformat_model_test.cpp
  LIBS salvora_pages)
if(TARGET pagesD1_model)
  target_compile_options(pagesD1_model PRIVATE ${SALVORA_NARROW_CHARSET})
endif()

# The road itself. Each volume is mapped twice: as a raw device (what the
# scan reads) and as a drive folder, so that the location page lists it.
salvora_add_test(pagesD1_road GUI TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/unformat_road_test.cpp
  LIBS salvora_pages salvora_resources
  MAP "drive X=fat16-unformat" "dir X=x-root" "drive Y=fat32-unformat" "dir Y=y-root"
      "drive W=ntfs-unformat" "dir W=w-root" "drive V=unformat-garbage" "dir V=v-root"
      "drive U=fat16-unformat-hostile" "dir U=u-root" "dir R=out")
if(TARGET pagesD1_road)
  target_include_directories(pagesD1_road PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
  target_compile_options(pagesD1_road PRIVATE ${SALVORA_NARROW_CHARSET})
endif()

# Benchmark of the unformat result page (scripts/bench-unformat-pages.sh runs it).
add_executable(pagesD1_bench ${CMAKE_CURRENT_SOURCE_DIR}/bench/unformat_result_bench.cpp)
target_link_libraries(pagesD1_bench PRIVATE salvora_pages salvora_resources)
target_compile_options(pagesD1_bench PRIVATE ${SALVORA_NARROW_CHARSET})
