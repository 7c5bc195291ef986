# Tests of the deleted-file road's first half: without a window, the filter
# tables, the command line and the location checks; under Wine and Xvfb the
# busy and stop boxes, and the main window with the location, scan and
# nothing-found pages on mapped images (each drive is mapped both as a raw
# volume and as a folder, so that it is listed among the drives).
salvora_add_test(pagesA_logic
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/filter_test.cpp ${CMAKE_CURRENT_SOURCE_DIR}/tests/logic_test.cpp
  LIBS salvora_pages)

salvora_add_test(pagesA_boxes GUI
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/boxes_test.cpp
  LIBS salvora_pages salvora_resources)

salvora_add_test(pagesA_road GUI
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/road_test.cpp
  LIBS salvora_pages salvora_resources
  MAP "drive X=fat32-deleted" "dir X=xroot" "drive N=ntfs-deleted" "dir N=nroot"
      "drive P=fat16-plain" "dir P=proot"
      "drive F=fat-recycle" "dir F=froot" "drive R=ntfs-recycle" "dir R=rroot")

foreach(t pagesA_logic pagesA_boxes pagesA_road)
  if(TARGET ${t})
    target_include_directories(${t} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
    target_compile_options(${t} PRIVATE ${SALVORA_NARROW_CHARSET})
  endif()
endforeach()

salvora_add_test(pagesA_program GUI
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/program_test.cpp
  LIBS salvora_resource_ids)
if(TARGET pagesA_program)
  add_dependencies(pagesA_program salvora pictaran)
  target_include_directories(pagesA_program PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
  target_link_libraries(pagesA_program PRIVATE salvora_framework)
  target_compile_options(pagesA_program PRIVATE ${SALVORA_NARROW_CHARSET})
endif()
