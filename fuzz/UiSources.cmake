# The framework with the platform layer below it, compiled once with the
# fuzzer's instrumentation into one static library that the framework fuzz
# targets (markup, imagedesc, richtext, imageload, archive) link. Targets pull
# in only the objects they reach; the library is complete so that a harness
# may use any part of the framework (the paint manager, say) without listing
# the sources that part happens to live in.
# The variable is set in every including folder, the library made only once.
set(QUELLAN_FUZZ_UI_LIBS quellan_fuzz_ui)
include_guard(GLOBAL)

file(GLOB_RECURSE quellan_fuzz_ui_sources CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/ui/*.cpp
  ${CMAKE_SOURCE_DIR}/platform/window/*.cpp
  ${CMAKE_SOURCE_DIR}/platform/graphics/*.cpp
  ${CMAKE_SOURCE_DIR}/platform/system/*.cpp)
list(APPEND quellan_fuzz_ui_sources
  ${CMAKE_SOURCE_DIR}/util/Text.cpp
  ${CMAKE_SOURCE_DIR}/util/Md5Stream.cpp
  ${CMAKE_SOURCE_DIR}/util/ZipCrypto.cpp)

add_library(quellan_fuzz_ui STATIC ${quellan_fuzz_ui_sources})
target_compile_features(quellan_fuzz_ui PUBLIC cxx_std_20)
target_include_directories(quellan_fuzz_ui PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_definitions(quellan_fuzz_ui PUBLIC QUELLAN_FUZZING=1)
target_compile_options(quellan_fuzz_ui PRIVATE -fsanitize=fuzzer-no-link,address,undefined
                       -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g -O1 -Wall -Wextra)
target_link_libraries(quellan_fuzz_ui PUBLIC dep::pangocairo dep::minizip dep::zlib dep::stb dep::openssl
                      dep::sdl2 dep::x11 dep::dbus ${CMAKE_DL_LIBS} Threads::Threads)

