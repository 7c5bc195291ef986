# Tests of the deleted-file road's first half: the filter tables (no window),
# and under Wine and Xvfb the busy and stop boxes.
salvora_add_test(pagesA_filter
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/filter_test.cpp
  LIBS salvora_pages)

salvora_add_test(pagesA_boxes GUI
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/boxes_test.cpp
  LIBS salvora_pages salvora_resources)
if(TARGET pagesA_boxes)
  target_include_directories(pagesA_boxes PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
  target_compile_options(pagesA_boxes PRIVATE ${SALVORA_NARROW_CHARSET})
endif()
