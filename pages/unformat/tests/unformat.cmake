# The unformat road: the result model and the volume list (no window), and
# under Wine and Xvfb the pages on volumes formatted again by mkfs.fat and
# mkntfs (the scan to its end, the stop protocol, the result page, the
# copy-out into a destination folder). Each volume is mapped twice: as a raw
# device (what the scan reads) and as a drive folder, so that the location
# page lists it.
salvora_add_test(unformat_model
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unformat_model_test.cpp
  LIBS salvora_pages_unformat)

salvora_add_test(unformat_pages_road GUI TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unformat_road_test.cpp
  LIBS salvora_pages_unformat salvora_resources
  MAP "drive X=fat16-unformat" "dir X=x-root" "drive Y=fat32-unformat" "dir Y=y-root"
      "drive W=ntfs-unformat" "dir W=w-root" "drive V=unformat-garbage" "dir V=v-root"
      "drive U=fat16-unformat-hostile" "dir U=u-root" "drive T=unformat-odd-entries" "dir T=t-root"
      "dir R=out")

foreach(t unformat_model unformat_pages_road)
  if(TARGET ${t})
    target_include_directories(${t} PRIVATE ${SALVORA_PAGE_TEST_SUPPORT})
    target_compile_options(${t} PRIVATE ${SALVORA_NARROW_CHARSET})
  endif()
endforeach()

# The whole road in the real program, on volumes formatted again over their
# files.
salvora_add_test(roads_unformat GUI TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unformat_program_test.cpp
  LIBS salvora_resource_ids salvora_controls
  MAP "drive Y=fat32-unformat" "dir Y=yroot" "drive W=ntfs-unformat" "dir W=wroot" "dir R=out")
if(TARGET roads_unformat)
  add_dependencies(roads_unformat salvora pictaran)
  target_include_directories(roads_unformat PRIVATE ${SALVORA_TOP}/pages/common ${SALVORA_TOP}/pages/unformat ${SALVORA_PAGE_TEST_SUPPORT})
  target_compile_options(roads_unformat PRIVATE ${SALVORA_NARROW_CHARSET})
endif()
