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
# REALTIME <gtest filter> gives the matching tests (e.g. "JackTest.*:TransferTest.Send*") the label
# `realtime`: timing-sensitive tests that scripts/test also runs in an optimised build, where lost
# or late data shows that a sanitizer build's slowness hides. Their executable joins the target
# banklore_realtime_tests, which builds all of them.
function(banklore_test name)
  cmake_parse_arguments(ARG "SERIAL" "REALTIME" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/support/*.cpp)
  list(FILTER sources INCLUDE REGEX "\\.cpp$")
  if(NOT sources)
    return()
  endif()
  add_executable(test_${name} ${sources})
  target_include_directories(test_${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(test_${name} PRIVATE ${ARG_DEPS} banklore_test_paths GTest::gtest GTest::gmock
                        GTest::gtest_main)
  set_target_properties(test_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests)
  # The folder's name labels every test of the folder; `realtime` goes on top of it.
  set_property(DIRECTORY APPEND PROPERTY LABELS ${name})
  set(serial "")
  set(others "")
  if(ARG_SERIAL)
    set(serial RUN_SERIAL TRUE)
  endif()
  if(ARG_REALTIME)
    if(NOT TARGET banklore_realtime_tests)
      add_custom_target(banklore_realtime_tests)
    endif()
    add_dependencies(banklore_realtime_tests test_${name})
    gtest_discover_tests(test_${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "${ARG_REALTIME}"
                         PROPERTIES LABELS realtime ${serial})
    set(others TEST_FILTER "-${ARG_REALTIME}")
  endif()
  if(serial)
    gtest_discover_tests(test_${name} DISCOVERY_TIMEOUT 60 ${others} PROPERTIES ${serial})
  else()
    gtest_discover_tests(test_${name} DISCOVERY_TIMEOUT 60 ${others})
  endif()
endfunction()
