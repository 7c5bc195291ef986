# The partition page under Wine and Xvfb, on copies of whole-disk images
# (the tests write to them). No disk 0, 2 or 4 is mapped: the page's rows are
# not the disk numbers. The page lists disks 0 to 9, so no other test may map
# the others meanwhile.
salvora_add_test(partition_page GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/partition_page_test.cpp
          ${SALVORA_TOP}/engine/tests/partition_fixture.cpp
  LIBS salvora_pages_partition salvora_resources
  ABSENT "disk 0" "disk 2" "disk 4" "disk 6" "disk 7" "disk 8" "disk 9"
  MAP "disk-copy 1=part-classic" "disk-copy 3=part-one-ntfs" "disk-copy 5=part-modern")
if(TARGET partition_page)
  target_include_directories(partition_page PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${SALVORA_PAGE_TEST_SUPPORT}
                             ${SALVORA_TOP}/engine/tests)
  target_compile_options(partition_page PRIVATE ${SALVORA_NARROW_CHARSET})
endif()
