# How each kind of target of the project is declared: warnings, libraries,
# tests, benchmarks, and the one way a folder joins the build.

# Warnings for the project's own targets. Third-party headers come in as
# system headers, so these flags speak only of our code.
function(riza3v_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow
    -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Wnull-dereference
    -Wformat=2 -Wimplicit-fallthrough)
endfunction()

# A library of the project: sources, public include root at the repository top.
function(riza3v_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  riza3v_warnings(${name})
endfunction()

# A GoogleTest executable registered with CTest. Its tests find the source and
# build folders in the environment (tests/support/paths.h), not in compile
# definitions, so that a second tree's compile commands match and hit ccache.
function(riza3v_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} test_support GTest::gtest GTest::gtest_main GTest::gmock)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  riza3v_warnings(${name})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_LIST ${name}_TESTS
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  # Properties are set by a script CTest reads after the discovered tests:
  # passed through the discovery's PROPERTIES, a list would split.
  set(properties "ENVIRONMENT \"RIZA3V_SOURCE_DIR=${PROJECT_SOURCE_DIR};RIZA3V_BUILD_DIR=${PROJECT_BINARY_DIR}\"")
  if(ARG_LABELS)
    string(APPEND properties " LABELS \"${ARG_LABELS}\"")
  endif()
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake)
  file(WRITE ${script}
    "if(${name}_TESTS)\n  set_tests_properties(\${${name}_TESTS} PROPERTIES ${properties})\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
endfunction()

# A Google Benchmark executable (not run by CTest).
function(riza3v_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark benchmark::benchmark_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  riza3v_warnings(${name})
endfunction()

# The one way a folder joins the build. Named folders must exist and have a
# CMakeLists.txt: a folder the list names but cannot find stops the configure
# with its name, instead of leaving its targets silently out of the build.
# Called without names (tests/, bench/), it adds every sub-folder that has a
# CMakeLists.txt, in name order, so a topic joins by having a folder of its own.
function(riza3v_add_folders)
  set(dirs ${ARGN})
  if(NOT dirs)
    file(GLOB entries LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
      ${CMAKE_CURRENT_SOURCE_DIR}/*)
    list(SORT entries)
    foreach(entry IN LISTS entries)
      if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${entry}
         AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${entry}/CMakeLists.txt)
        list(APPEND dirs ${entry})
      endif()
    endforeach()
  endif()
  foreach(dir IN LISTS dirs)
    if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      message(FATAL_ERROR
        "riza3v_add_folders: folder '${dir}' named in ${CMAKE_CURRENT_LIST_FILE} "
        "has no CMakeLists.txt (expected ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)")
    endif()
    add_subdirectory(${dir})
  endforeach()
endfunction()
