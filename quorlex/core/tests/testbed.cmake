# quorlex_add_bed_test(name SOURCES ... LIBS ... BED <testbed.py options>
#                      [DEPENDS targets] [LOCKS resource ...] [TIMEOUT s] [ARGS ...])
# Like salvora_add_test, but the test runs inside testbed.py, which starts the
# loopback servers and proxies the test needs and stops them afterwards.
set(QUORLEX_TESTBED ${CMAKE_CURRENT_LIST_DIR}/testbed.py)
set(QUORLEX_TESTBED_DIR ${CMAKE_CURRENT_LIST_DIR})

function(quorlex_add_bed_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;BED;DEPENDS;LOCKS;ARGS" ${ARGN})
  if(NOT SALVORA_TESTS)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} salvora_testsupport)
  target_include_directories(${name} PRIVATE ${QUORLEX_TESTBED_DIR})
  if(T_DEPENDS)
    add_dependencies(${name} ${T_DEPENDS})
  endif()
  set(scratch ${CMAKE_BINARY_DIR}/scratch/${name})
  add_test(NAME ${name}
    COMMAND python3 ${QUORLEX_TESTBED} ${T_BED} --work ${scratch}/bed
            -- ${SALVORA_TOP}/scripts/wine-run $<TARGET_FILE:${name}> ${T_ARGS})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "SALVORA_SCRATCH=${scratch}")
  if(T_LOCKS)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${T_LOCKS}")
  endif()
endfunction()
