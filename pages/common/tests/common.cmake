# What the roads share, tested without a window: the filter tables, the
# result-tree model, the filters and the destination checks; under Wine and
# Xvfb the busy and stop boxes.
salvora_add_test(pagesB_model
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/results_model_test.cpp ${CMAKE_CURRENT_LIST_DIR}/filter_test.cpp
  LIBS salvora_pages)

salvora_add_test(pagesA_boxes GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/boxes_test.cpp
  LIBS salvora_pages salvora_resources)

foreach(t pagesB_model pagesA_boxes)
  if(TARGET ${t})
    target_include_directories(${t} PRIVATE ${SALVORA_PAGE_TEST_SUPPORT})
    target_compile_options(${t} PRIVATE ${SALVORA_NARROW_CHARSET})
  endif()
endforeach()
