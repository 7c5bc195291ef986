# Three roads end to end in the real salvora.exe, driven from outside as a
# user drives them (tests/support/program_driver.h): the unformat road on
# volumes formatted again over their files, the deep-scan road on a volume of
# files at known sectors, and the recycle-bin road on emptied NTFS and FAT32
# bins. Each volume is mapped both as a raw volume (what the scans read) and
# as a folder (so that the program lists the drive); R: and W: are folders
# of the test that receive the copies.
salvora_add_test(roads_unformat GUI TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/unformat_program_test.cpp
  LIBS salvora_resource_ids salvora_controls
  MAP "drive Y=fat32-unformat" "dir Y=yroot" "drive W=ntfs-unformat" "dir W=wroot" "dir R=out")

salvora_add_test(roads_deep GUI TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/deep_program_test.cpp
  LIBS salvora_resource_ids salvora_controls
  MAP "drive Q=deepscan-volume" "dir Q=qroot" "dir W=out")

salvora_add_test(roads_recycle GUI TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/recycle_program_test.cpp
  LIBS salvora_resource_ids salvora_controls
  MAP "drive N=ntfs-recycle" "dir N=nroot" "drive F=fat-recycle" "dir F=froot" "dir R=out")

foreach(t roads_unformat roads_deep roads_recycle)
  if(TARGET ${t})
    add_dependencies(${t} salvora pictaran)
    target_include_directories(${t} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/tests)
    target_compile_options(${t} PRIVATE ${SALVORA_NARROW_CHARSET})
  endif()
endforeach()
