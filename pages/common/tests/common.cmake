# What the roads share, tested without a window: the filter tables, the
# result-tree model, the filters and the destination checks; under Wine and
# Xvfb the busy and stop boxes.
salvora_add_test(results_model
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/results_model_test.cpp ${CMAKE_CURRENT_LIST_DIR}/filter_test.cpp
  LIBS salvora_pages_common)

salvora_add_test(pages_boxes GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/boxes_test.cpp
  LIBS salvora_pages_common salvora_resources)

# The three ends of every road on sources that cannot be scanned: a drive
# that is not there, an image that opens but gives nothing (as a volume and
# as disk 7), an NTFS volume whose file records no scan reads. From the
# program's own main window, so with the program's application object.
salvora_add_test(pages_honest_ends GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/honest_ends_test.cpp
  LIBS salvora_app salvora_resources
  ABSENT "drive Q"
  MAP "drive U=unreadable-volume" "dir U=uroot" "drive K=ntfs-4k-records" "drive P=fat16-plain" "dir P=proot"
      "disk 7=unreadable-volume")

foreach(t results_model pages_boxes pages_honest_ends)
  if(TARGET ${t})
    target_include_directories(${t} PRIVATE ${SALVORA_PAGE_TEST_SUPPORT})
    target_compile_options(${t} PRIVATE ${SALVORA_NARROW_CHARSET})
  endif()
endforeach()
