# Helpers that keep one CMake target per module folder.

# Adds every direct child folder of DIR that holds a CMakeLists.txt.
function(orv_add_subdirectories dir)
  file(GLOB children LIST_DIRECTORIES true CONFIGURE_DEPENDS
       "${CMAKE_SOURCE_DIR}/${dir}/*/CMakeLists.txt")
  list(SORT children)
  foreach(child IN LISTS children)
    get_filename_component(child_dir "${child}" DIRECTORY)
    add_subdirectory("${child_dir}")
  endforeach()
endfunction()

# Adds DIR when it holds a CMakeLists.txt.
function(orv_add_optional_subdirectory dir)
  if(EXISTS "${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt")
    add_subdirectory("${CMAKE_SOURCE_DIR}/${dir}")
  endif()
endfunction()

# orv_module(NAME [DEPS targets...])
# A library of the *.cpp files in the current folder; header-only when there are none.
function(orv_module name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  if(sources)
    add_library(${name} STATIC ${sources})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# orv_tests(NAME [TIMEOUT seconds] [DEPS targets...])
# One GoogleTest program of the *.cpp files in the current folder, each test its own CTest case
# (120 seconds each unless TIMEOUT says otherwise).
function(orv_tests name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "DEPS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} orv_testsupport GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "ORV_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()

# orv_bench(NAME SOURCE [DEPS targets...])
function(orv_bench name source)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} orv_testsupport benchmark::benchmark
                        benchmark::benchmark_main)
endfunction()

# orv_fuzz(NAME SOURCE [DEPS targets...])
# A libFuzzer program (clang, -DORV_FUZZ=ON). Its seed corpus is the folder `corpus/` beside
# the source; scripts/fuzz runs every target on a copy of it.
function(orv_fuzz name source)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  file(APPEND "${CMAKE_BINARY_DIR}/fuzz-targets.txt"
       "${name} ${CMAKE_CURRENT_BINARY_DIR}/${name} ${CMAKE_CURRENT_SOURCE_DIR}/corpus\n")
endfunction()
