# Tests of the deleted-file road's second half: the result-tree model, the
# filters and the destination checks without a window; under Wine and Xvfb the
# result, destination, copy-out progress and report pages on real scans.
salvora_add_test(pagesB_model
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/results_model_test.cpp
  LIBS salvora_pages)
if(TARGET pagesB_model)
  target_compile_options(pagesB_model PRIVATE ${SALVORA_NARROW_CHARSET})
endif()

salvora_add_test(pagesB_pages GUI
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/pagesB_pages_test.cpp
  ABSENT "drive Q"
  LIBS salvora_pages salvora_resources
  MAP "drive X=fat32-deleted" "drive N=ntfs-deleted" "drive W=ntfs-recycle" "dir R=out"
  TIMEOUT 600)
if(TARGET pagesB_pages)
  target_include_directories(pagesB_pages PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
  target_compile_options(pagesB_pages PRIVATE ${SALVORA_NARROW_CHARSET})
endif()

# The whole road in the real program: X: (FAT32) and N: (NTFS) are both raw
# volumes and folders, so that they are listed among the drives of the
# location page's tree.
salvora_add_test(pagesB_road GUI
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/pagesB_program_test.cpp
  LIBS salvora_resource_ids
  MAP "drive X=fat32-deleted" "dir X=xroot" "drive N=ntfs-deleted" "dir N=nroot" "dir R=out"
  TIMEOUT 600)
if(TARGET pagesB_road)
  add_dependencies(pagesB_road salvora pictaran)
  target_include_directories(pagesB_road PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
  target_link_libraries(pagesB_road PRIVATE salvora_framework comctl32)
  target_compile_options(pagesB_road PRIVATE ${SALVORA_NARROW_CHARSET})
endif()

# The timing program of scripts/bench-results.sh (not a test).
add_executable(results_bench ${CMAKE_CURRENT_SOURCE_DIR}/bench/results_bench.cpp)
target_link_libraries(results_bench PRIVATE salvora_pages salvora_resources)
target_compile_options(results_bench PRIVATE ${SALVORA_NARROW_CHARSET})
