# minatori_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>])
# Builds one QtTest executable and registers it with CTest. Every test runs
# offscreen, in its own scratch folder, with its own XDG folders so that it
# never touches the user's settings, certificate store or runtime folder.
function(minatori_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} minatori_testsupport Qt6::Test)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(scratch ${CMAKE_BINARY_DIR}/tests/scratch/${name})
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    LABELS "${T_LABELS}"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;MINATORI_TEST_SCRATCH=${scratch};XDG_DATA_HOME=${scratch}/xdg-data;XDG_RUNTIME_DIR=;MINATORI_SOURCE_DIR=${CMAKE_SOURCE_DIR};MINATORI_BINARY_DIR=${CMAKE_BINARY_DIR}")
endfunction()
