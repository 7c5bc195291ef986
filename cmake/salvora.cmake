# Build helpers shared by every folder.

# Every program and DLL we ship: links the stand-ins that let it load on
# Windows XP (compat/), as objects, so that they come before the import
# libraries of the system.
function(salvora_ship target)
  target_link_libraries(${target} PRIVATE salvora_compat)
  set_property(GLOBAL APPEND PROPERTY SALVORA_SHIPPED ${target})
endfunction()

# shipped.txt in the build folder: the path of every file we ship, one a line
# (what scripts/check-imports.py examines). Called once, after every folder.
function(salvora_list_shipped)
  get_property(targets GLOBAL PROPERTY SALVORA_SHIPPED)
  set(lines)
  foreach(t IN LISTS targets)
    string(APPEND lines "$<TARGET_FILE:${t}>\n")
  endforeach()
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/shipped.txt CONTENT "${lines}")
endfunction()

# Tests: one ctest entry per test executable, run under wine64 by scripts/wine-run.
#   salvora_add_test(name SOURCES ... [LIBS ...] [MAP "drive X=image" "disk 1=image" "dir Y=folder" ...] [GUI]
#                    [WINDOWS version])
# MAP names fixtures by their folder under build/fixtures (see tests/fixtures);
# "drive-copy"/"disk-copy" map a private copy for tests that write.
# "dir" folders are relative to the test's own scratch folder in the build tree.
# ABSENT "drive Q" "disk 8" names letters and disks the test counts on being
# unmapped: no other test maps them meanwhile.
# WINDOWS runs the test in a Wine prefix of its own whose Windows reports that
# version (winxp, ...; scripts/wine-env.sh), its drives apart from the others'.
function(salvora_add_test name)
  cmake_parse_arguments(T "GUI" "TIMEOUT;WINDOWS" "SOURCES;LIBS;MAP;ARGS;ABSENT" ${ARGN})
  if(NOT SALVORA_TESTS)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} salvora_testsupport)
  set(fixdir ${CMAKE_BINARY_DIR}/fixtures)
  set(scratch ${CMAKE_BINARY_DIR}/scratch/${name})
  set(cmd ${SALVORA_TOP}/scripts/wine-run)
  set(locks)
  set(lockprefix)
  if(T_WINDOWS)
    list(APPEND cmd --windows ${T_WINDOWS})
    set(lockprefix "${T_WINDOWS}-")
  endif()
  foreach(m IN LISTS T_MAP)
    string(REGEX MATCH "^([a-z-]+) ([^=]+)=(.*)$" ok "${m}")
    if(NOT ok)
      message(FATAL_ERROR "${name}: bad MAP entry '${m}'")
    endif()
    set(kind ${CMAKE_MATCH_1})
    set(slot ${CMAKE_MATCH_2})
    set(what ${CMAKE_MATCH_3})
    if(kind STREQUAL "dir")
      list(APPEND cmd --dir "${slot}=${scratch}/${what}")
      list(APPEND locks "${lockprefix}drive-${slot}")
    elseif(kind MATCHES "^drive")
      list(APPEND cmd --${kind} "${slot}=${fixdir}/${what}/image.img")
      list(APPEND locks "${lockprefix}drive-${slot}")
    elseif(kind MATCHES "^disk")
      list(APPEND cmd --${kind} "${slot}=${fixdir}/${what}/image.img")
      list(APPEND locks "${lockprefix}disk-${slot}")
    else()
      message(FATAL_ERROR "${name}: unknown MAP kind '${kind}'")
    endif()
  endforeach()
  foreach(a IN LISTS T_ABSENT)
    string(REGEX MATCH "^(drive|disk) ([A-Z0-9])$" ok "${a}")
    if(NOT ok)
      message(FATAL_ERROR "${name}: bad ABSENT entry '${a}'")
    endif()
    list(APPEND locks "${lockprefix}${CMAKE_MATCH_1}-${CMAKE_MATCH_2}")
  endforeach()
  if(T_GUI)
    # A program with windows may load quorlex.dll (it sits beside every test
    # program): its statistics, sent at start and from the report pages, read
    # and repair the machine identity of the prefix, which the identity tests
    # delete and check.
    list(APPEND locks display "${lockprefix}quorlex-identity")
  endif()
  add_test(NAME ${name} COMMAND ${cmd} $<TARGET_FILE:${name}> ${T_ARGS})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    FIXTURES_REQUIRED images
    ENVIRONMENT "SALVORA_FIXTURES_DIR=${fixdir};SALVORA_SCRATCH=${scratch}")
  if(locks)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${locks}")
  endif()
endfunction()

# A test program run once more with a destination that fills up after 24 KB
# (engine/tests/full_destination.sh; no root needed), only its cases of FILTER:
#   salvora_add_fulldest_test(name PROGRAM target FILTER "Suite.*" [DRIVE "X=fixture"])
function(salvora_add_fulldest_test name)
  cmake_parse_arguments(T "" "PROGRAM;FILTER;DRIVE" "" ${ARGN})
  if(NOT SALVORA_TESTS OR NOT TARGET ${T_PROGRAM})
    return()
  endif()
  set(scratch ${CMAKE_BINARY_DIR}/scratch/${name})
  set(map)
  set(lock)
  if(T_DRIVE)
    string(REGEX MATCH "^([A-Z])=(.+)$" ok "${T_DRIVE}")
    if(NOT ok)
      message(FATAL_ERROR "${name}: bad DRIVE '${T_DRIVE}'")
    endif()
    set(map --drive ${CMAKE_MATCH_1}=${CMAKE_BINARY_DIR}/fixtures/${CMAKE_MATCH_2}/image.img)
    set(lock RESOURCE_LOCK drive-${CMAKE_MATCH_1})
  endif()
  add_test(NAME ${name}
    COMMAND bash ${SALVORA_TOP}/engine/tests/full_destination.sh ${SALVORA_TOP}/scripts/wine-run ${scratch}
            ${map} -- $<TARGET_FILE:${T_PROGRAM}> --gtest_filter=${T_FILTER})
  set_tests_properties(${name} PROPERTIES
    TIMEOUT 300 FIXTURES_REQUIRED images ${lock}
    ENVIRONMENT "SALVORA_FIXTURES_DIR=${CMAKE_BINARY_DIR}/fixtures;SALVORA_SCRATCH=${scratch}")
endfunction()
