# switchfw_library(<name> [DEPS <targets>...])
# One static library per folder: every .cpp below src/ (and below sub-folders
# named in SOURCE_DIRS) is compiled; include/ is the public header folder.
function(switchfw_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;SOURCE_DIRS;PRIVATE_DEPS" ${ARGN})
  if(NOT ARG_SOURCE_DIRS)
    set(ARG_SOURCE_DIRS src)
  endif()
  set(sources)
  foreach(dir ${ARG_SOURCE_DIRS})
    file(GLOB_RECURSE found CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
    list(APPEND sources ${found})
  endforeach()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
endfunction()

# switchfw_hot_path(<target>)
# The serial bus is bit-banged through the board glue into the chip model:
# every register access is a few hundred pin calls. Unoptimised, a sanitizer
# build's idle program spends a fifth of a core there, so sanitizer builds
# optimise these libraries too (still instrumented).
function(switchfw_hot_path target)
  if(SWITCHFW_SANITIZE OR SWITCHFW_TSAN)
    target_compile_options(${target} PRIVATE -O2)
  endif()
endfunction()

# Whether ccache stands in for the compiler (as a launcher, or as the
# compiler's own name linked to it).
get_filename_component(switchfw_compiler_real "${CMAKE_CXX_COMPILER}" REALPATH)
if(switchfw_compiler_real MATCHES "ccache" OR CMAKE_CXX_COMPILER_LAUNCHER MATCHES "ccache")
  set(SWITCHFW_COMPILER_CACHED ON)
else()
  set(SWITCHFW_COMPILER_CACHED OFF)
endif()

# switchfw_test_headers(<target>)
# GoogleTest's header costs a test file most of its compile time: a test
# program parses it, with the standard headers the tests share, once, and
# compiles its files in batches (so names in a test file's anonymous
# namespace must differ from those of the program's other test files).
# Behind ccache each batch parses the headers itself: ccache keeps no file
# compiled with a precompiled header, which is built anew (and differs) in
# every build folder, so a build folder made anew (a fresh clone at the
# path of the last one, as a CI workspace) would compile every test again,
# most of its build on two processors. (A batch names its files by their
# full path: a clone at another path compiles them again either way.)
function(switchfw_test_headers target)
  if(NOT SWITCHFW_COMPILER_CACHED)
    target_precompile_headers(${target} PRIVATE <gtest/gtest.h> <algorithm> <atomic> <chrono>
      <cstdint> <cstdio> <cstring> <functional> <map> <memory> <string> <thread> <vector>)
  endif()
  if(SWITCHFW_UNITY_TESTS)
    set_target_properties(${target} PROPERTIES UNITY_BUILD ON
      UNITY_BUILD_BATCH_SIZE ${SWITCHFW_UNITY_BATCH})
    # A fixture in a file's anonymous namespace is fine alone, not included.
    target_compile_options(${target} PRIVATE -Wno-subobject-linkage)
  endif()
endfunction()

# switchfw_tests(<label> DEPS <targets>...)
# Every tests/*.cpp of the folder goes into one test program; each GoogleTest
# case becomes a CTest test named "<label>.<Suite>.<Case>" with label <label>.
function(switchfw_tests label)
  if(NOT SWITCHFW_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "TIMEOUT" "DEPS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
  if(NOT sources)
    return()
  endif()
  set(target ${label}_tests)
  add_executable(${target} ${sources})
  target_link_libraries(${target} PRIVATE ${ARG_DEPS} GTest::gtest_main GTest::gmock Threads::Threads)
  switchfw_test_headers(${target})
  gtest_discover_tests(${target}
    TEST_PREFIX "${label}."
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS ${label} TIMEOUT ${ARG_TIMEOUT})
endfunction()

# Every build checks that firmware code keeps out of the chip model's headers.
function(switchfw_sim_fence)
  add_custom_target(sim_fence ALL
    COMMAND ${CMAKE_COMMAND} -DSWITCHFW_ROOT=${PROJECT_SOURCE_DIR}
            -P ${PROJECT_SOURCE_DIR}/cmake/check_sim_fence.cmake
    COMMENT "Checking that firmware code does not include chip-model headers"
    VERBATIM)
endfunction()
