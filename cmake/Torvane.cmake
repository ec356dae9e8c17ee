# Helpers shared by the per-folder CMake files.

# torvane_library(name folder [DEPS ...])
# Builds every .cpp/.c in the folder (recursively) into a static library.
function(torvane_library name folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE _srcs CONFIGURE_DEPENDS ${folder}/*.cpp ${folder}/*.c)
  if(NOT _srcs)
    # A folder whose code has not arrived yet still takes part in the dependency chain.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/include)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
    return()
  endif()
  add_library(${name} STATIC ${_srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/include ${folder})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# torvane_test_folder(name folder DEPS ...)
# One GoogleTest executable per test folder; every .cpp in it is a unit file.
function(torvane_test_folder name folder)
  cmake_parse_arguments(ARG "" "" "DEPS;LABELS" ${ARGN})
  file(GLOB_RECURSE _srcs CONFIGURE_DEPENDS ${folder}/*.cpp)
  if(NOT _srcs)
    return()
  endif()
  file(GLOB _common CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/common/*.cpp)
  add_executable(${name} ${_srcs} ${_common})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${ARG_LABELS}" ENVIRONMENT "TORVANE_BUILD_DIR=${PROJECT_BINARY_DIR}")
endfunction()
