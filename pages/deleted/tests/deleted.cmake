# The deleted-file and recycle-bin road. Without a window: the command line and
# the location checks. Under Wine and Xvfb: the main window with the location,
# scan and nothing-found pages, then the result, destination, copy-out progress
# and report pages on real scans, and the whole road in the real program. Each
# drive is mapped both as a raw volume and as a folder, so that it is listed
# among the drives.
salvora_add_test(deleted_pages_logic   # the command line is the program's
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/logic_test.cpp
  LIBS salvora_app)

salvora_add_test(deleted_pages_road GUI   # from the program's main window
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/road_test.cpp
  LIBS salvora_app salvora_resources
  MAP "drive X=fat32-deleted" "dir X=xroot" "drive N=ntfs-deleted" "dir N=nroot"
      "drive P=fat16-plain" "dir P=proot"
      "drive F=fat-recycle" "dir F=froot" "drive R=ntfs-recycle" "dir R=rroot")

salvora_add_test(deleted_pages GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/deleted_pages_test.cpp
  ABSENT "drive Q" "drive Y"
  LIBS salvora_pages_deleted salvora_resources
  MAP "drive X=fat32-deleted" "drive N=ntfs-deleted" "drive W=ntfs-recycle" "dir R=out"
  TIMEOUT 600)

foreach(t deleted_pages_logic deleted_pages_road deleted_pages)
  if(TARGET ${t})
    target_include_directories(${t} PRIVATE ${SALVORA_PAGE_TEST_SUPPORT})
    target_compile_options(${t} PRIVATE ${SALVORA_NARROW_CHARSET})
  endif()
endforeach()

# The real program, driven from outside as a user drives it
# (tests/support/program_driver.h).
salvora_add_test(program_switches GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/program_test.cpp
  LIBS salvora_resource_ids)

salvora_add_test(roads_deleted GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/deleted_program_test.cpp
  LIBS salvora_resource_ids
  MAP "drive X=fat32-deleted" "dir X=xroot" "drive N=ntfs-deleted" "dir N=nroot" "dir R=out"
  TIMEOUT 600)

# The recycle-bin road on emptied NTFS and FAT32 bins.
salvora_add_test(roads_recycle GUI TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/recycle_program_test.cpp
  LIBS salvora_resource_ids salvora_controls
  MAP "drive N=ntfs-recycle" "dir N=nroot" "drive F=fat-recycle" "dir F=froot" "dir R=out")

# The same road as Windows XP runs it ("RECYCLER" bins), in a prefix of its own
# that reports XP.
salvora_add_test(roads_recycle_xp GUI TIMEOUT 900 WINDOWS winxp
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/recycle_xp_program_test.cpp
  LIBS salvora_resource_ids salvora_controls
  MAP "drive N=ntfs-recycler" "dir N=nroot" "drive F=fat-recycler" "dir F=froot" "dir R=out")

foreach(t program_switches roads_deleted roads_recycle roads_recycle_xp)
  if(TARGET ${t})
    add_dependencies(${t} salvora pictaran)
    target_include_directories(${t} PRIVATE ${SALVORA_TOP}/pages/common ${SALVORA_TOP}/pages/deleted ${SALVORA_PAGE_TEST_SUPPORT})
    target_link_libraries(${t} PRIVATE salvora_framework comctl32)
    target_compile_options(${t} PRIVATE ${SALVORA_NARROW_CHARSET})
  endif()
endforeach()
