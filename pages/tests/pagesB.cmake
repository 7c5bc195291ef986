# Tests of the deleted-file road's second half: the result-tree model, the
# filters and the destination checks without a window; under Wine and Xvfb the
# result, destination, copy-out progress and report pages on real scans.
salvora_add_test(pagesB_model
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/results_model_test.cpp
  LIBS salvora_pages)
if(TARGET pagesB_model)
  target_compile_options(pagesB_model PRIVATE ${SALVORA_NARROW_CHARSET})
endif()
