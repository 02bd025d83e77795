# libFuzzer targets. Included from the top CMakeLists.txt when QUELLAN_FUZZ is
# ON; needs clang (configure with CC=clang CXX=clang++; scripts/fuzz.sh does).
#
# quellan_fuzz_target(NAME SOURCES file... [LIBS lib...] [CORPUS dir])
#   Builds the fuzzer NAME (CMake target fuzz_NAME) into
#   ${CMAKE_BINARY_DIR}/fuzz-bin/NAME from SOURCES:
#   the file that defines LLVMFuzzerTestOneInput plus every source of ours
#   the parser under test needs (paths relative to the calling folder or
#   absolute, e.g. ${CMAKE_SOURCE_DIR}/platform/signature/PeFile.cpp). Our sources are
#   compiled into the fuzzer, not linked from the quellan_* libraries, because
#   only code built with -fsanitize=fuzzer is instrumented (Debian's libraries
#   are not either). LIBS are third-party dependencies (dep::openssl, ...).
#   CORPUS is a folder of seed inputs, by default corpus/ next to the calling
#   CMakeLists.txt; scripts/fuzz.sh --brief uses it when it exists.
#
# Example (fuzz/markup/CMakeLists.txt):
#   quellan_fuzz_target(markup SOURCES fuzz_markup.cpp
#                       ${CMAKE_SOURCE_DIR}/ui/markup/MarkupParser.cpp)
#
# The target quellan_fuzzers builds them all.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "QUELLAN_FUZZ needs clang: configure with CC=clang CXX=clang++")
endif()

add_custom_target(quellan_fuzzers)
set(QUELLAN_FUZZ_BIN_DIR ${CMAKE_BINARY_DIR}/fuzz-bin)

function(quellan_fuzz_target name)
  cmake_parse_arguments(ARG "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "quellan_fuzz_target(${name}): no SOURCES")
  endif()
  if(NOT ARG_CORPUS)
    set(ARG_CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus)
  endif()
  set(flags -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
            -fno-omit-frame-pointer -g -O1)
  set(target fuzz_${name})
  add_executable(${target} ${ARG_SOURCES})
  target_compile_features(${target} PRIVATE cxx_std_20)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(${target} PRIVATE QUELLAN_FUZZING=1)
  target_compile_options(${target} PRIVATE ${flags} -Wall -Wextra $<$<BOOL:${QUELLAN_WERROR}>:-Werror>)
  target_link_options(${target} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} Threads::Threads)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${name}
                        RUNTIME_OUTPUT_DIRECTORY ${QUELLAN_FUZZ_BIN_DIR})
  add_dependencies(quellan_fuzzers ${target})
  # Tells scripts/fuzz.sh where the seed inputs are.
  file(WRITE ${QUELLAN_FUZZ_BIN_DIR}/${name}.corpus "${ARG_CORPUS}\n")
endfunction()
