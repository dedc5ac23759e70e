# gw_library(<name> [DEPS <targets>...] [EXCLUDE <relative paths>...])
# One library per folder. Sources are the folder's *.cpp files; a folder that has
# none yet is an interface library, so later folders can already link it.
function(gw_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;EXCLUDE;EXTRA_SOURCES" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(excluded ${ARG_EXCLUDE})
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${excluded})
  endforeach()
  list(APPEND sources ${ARG_EXTRA_SOURCES})
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# gw_tests(<folder> DEPS <targets>... [TEST_FILTER <gtest filter>])
# One GoogleTest binary per folder of tests/, from every *.cpp in it, run one
# test a process and once whole, shuffled; a filter leaves tests out of both
# for a labelled discovery of their own.
function(gw_tests folder)
  cmake_parse_arguments(ARG "" "TEST_FILTER" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  if(NOT sources)
    return()
  endif()
  string(REPLACE "/" "_" target "${folder}_tests")
  add_executable(${target} ${sources})
  target_link_libraries(${target} PRIVATE ${ARG_DEPS} GTest::gmock GTest::gtest_main)
  if(ARG_TEST_FILTER)
    set(filter TEST_FILTER ${ARG_TEST_FILTER})
    set(whole_filter --gtest_filter=${ARG_TEST_FILTER})
  endif()
  gtest_discover_tests(${target} ${filter} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
  # The same tests in one process, in a new order each run: none may lean on
  # what another left in a singleton or on the simulated board.
  add_test(NAME ${target}.whole_shuffled COMMAND ${target} --gtest_shuffle ${whole_filter})
  set_tests_properties(${target}.whole_shuffled PROPERTIES TIMEOUT 600)
endfunction()
