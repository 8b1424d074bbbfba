# One static library per source folder; the folder's files are picked up by glob so adding a
# file needs no build edit. Link dependencies are declared here, so a wrong include fails to link.
function(banklore_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  list(FILTER sources INCLUDE REGEX "\\.cpp$")
  if(NOT sources)
    # A folder without sources yet: an interface library keeps the dependency graph whole.
    add_library(banklore_${name} INTERFACE)
    target_include_directories(banklore_${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(banklore_${name} INTERFACE ${ARG_DEPS})
    return()
  endif()
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_library(banklore_${name} STATIC ${sources} ${headers})
  target_include_directories(banklore_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(banklore_${name} PUBLIC ${ARG_DEPS})
endfunction()

# One test executable per test folder, each test case registered with CTest.
# SERIAL runs the folder's tests alone: real-time MIDI through a JACK server drops data when the
# machine's few cores are busy with other tests.
function(banklore_test name)
  cmake_parse_arguments(ARG "SERIAL" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/support/*.cpp)
  list(FILTER sources INCLUDE REGEX "\\.cpp$")
  if(NOT sources)
    return()
  endif()
  add_executable(test_${name} ${sources})
  target_include_directories(test_${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(test_${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(test_${name} PRIVATE
    BANKLORE_REALDATA_DIR="${PROJECT_SOURCE_DIR}/../shared/realdata"
    BANKLORE_TEST_TMPDIR="${PROJECT_BINARY_DIR}/test-tmp")
  set_target_properties(test_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests)
  if(ARG_SERIAL)
    gtest_discover_tests(test_${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ${name} RUN_SERIAL TRUE)
  else()
    gtest_discover_tests(test_${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ${name})
  endif()
endfunction()
