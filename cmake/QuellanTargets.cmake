# Shared compile settings and small helpers for the project's own targets.
add_library(quellan_options INTERFACE)
target_compile_options(quellan_options INTERFACE -Wall -Wextra)
# Third-party headers come from imported targets (system include paths), so
# -Werror applies to our own code only.
if(QUELLAN_WERROR)
  target_compile_options(quellan_options INTERFACE -Werror)
endif()
target_include_directories(quellan_options INTERFACE ${CMAKE_SOURCE_DIR})
target_link_libraries(quellan_options INTERFACE Threads::Threads)
if(QUELLAN_SANITIZE)
  target_compile_options(quellan_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(quellan_options INTERFACE -fsanitize=address,undefined)
endif()
if(QUELLAN_TSAN)
  target_compile_options(quellan_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(quellan_options INTERFACE -fsanitize=thread)
endif()

# quellan_library(NAME DIR [RECURSE]) -- a static library of every .cpp under DIR.
# Files are globbed so that new files need no CMake edits.
function(quellan_library name dir)
  cmake_parse_arguments(ARG "RECURSE" "" "EXCLUDE" ${ARGN})
  if(ARG_RECURSE)
    file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  else()
    file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  endif()
  foreach(ex IN LISTS ARG_EXCLUDE)
    list(FILTER srcs EXCLUDE REGEX "${ex}")
  endforeach()
  if(NOT srcs)
    # A folder without sources yet still yields a linkable library.
    set(srcs ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp)
    file(WRITE ${srcs} "// no sources yet\n")
  endif()
  add_library(${name} STATIC ${srcs})
  target_link_libraries(${name} PUBLIC quellan_options)
endfunction()

# quellan_gtest(NAME DIR LIBS...) -- one GoogleTest executable of every *.cpp
# under DIR (recursively, leaving out sub-folders that have a CMakeLists.txt of
# their own, which that file adds), each test registered with CTest. A folder
# may set QUELLAN_GTEST_PROPERTIES first to give every test of the executable
# more CTest properties (a RESOURCE_LOCK, say).
function(quellan_gtest name dir)
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  file(GLOB_RECURSE own_lists CONFIGURE_DEPENDS ${dir}/*/CMakeLists.txt)
  foreach(list IN LISTS own_lists)
    get_filename_component(sub ${list} DIRECTORY)
    list(FILTER srcs EXCLUDE REGEX "^${sub}/")
  endforeach()
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${ARGN} quellan_test_support GTest::gtest GTest::gtest_main GTest::gmock
                                        quellan_options)
  target_compile_definitions(${name} PRIVATE
    QUELLAN_SOURCE_DIR="${CMAKE_SOURCE_DIR}" QUELLAN_BINARY_DIR="${CMAKE_BINARY_DIR}")
  include(GoogleTest)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300 ${QUELLAN_GTEST_PROPERTIES})
endfunction()

# Adds every sub-folder of the current source folder that has a CMakeLists.txt.
function(quellan_add_subfolders)
  file(GLOB children LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(d IN LISTS children)
    if(IS_DIRECTORY ${d} AND EXISTS ${d}/CMakeLists.txt)
      add_subdirectory(${d})
    endif()
  endforeach()
endfunction()
