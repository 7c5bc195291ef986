# The deep-scan road's pages: without a window, the rows the location page
# offers for a machine given as a table, the scan target, the result page's
# folders, ticks and preview requests; under Wine and Xvfb the location, scan
# and result pages on the deep-scan fixtures (each volume is mapped both as a
# raw volume and as a folder, so that it is listed among the drives), with
# their stop protocol and the preview through pictaran.
salvora_add_test(deep_pages_logic
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/deep_logic_test.cpp
  LIBS salvora_pages_deep salvora_resources)

salvora_add_test(deep_pages_road GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/deep_road_test.cpp
  LIBS salvora_pages_deep salvora_picture_binding salvora_resources
  MAP "drive Q=deepscan-volume" "dir Q=qroot" "drive K=deepscan-single" "dir K=kroot"
      "drive M=deepscan-nothing" "dir M=mroot" "disk 8=deepscan-disk" "dir W=out")

foreach(t deep_pages_logic deep_pages_road)
  if(TARGET ${t})
    target_include_directories(${t} PRIVATE ${SALVORA_PAGE_TEST_SUPPORT})
    target_compile_options(${t} PRIVATE ${SALVORA_NARROW_CHARSET})
  endif()
endforeach()
if(TARGET deep_pages_road AND TARGET pictaran)
  add_dependencies(deep_pages_road pictaran)   # the preview draws through it
endif()

# The whole road in the real program, on a volume of files at known sectors.
salvora_add_test(roads_deep GUI TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/deep_program_test.cpp
  LIBS salvora_resource_ids salvora_controls
  MAP "drive Q=deepscan-volume" "dir Q=qroot" "dir W=out")
if(TARGET roads_deep)
  add_dependencies(roads_deep salvora pictaran)
  target_include_directories(roads_deep PRIVATE ${SALVORA_TOP}/pages/common ${SALVORA_TOP}/pages/deep ${SALVORA_PAGE_TEST_SUPPORT})
  target_compile_options(roads_deep PRIVATE ${SALVORA_NARROW_CHARSET})
endif()
