# Every third-party library is found here, once, and exposed as dep::NAME.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

find_package(SDL2 CONFIG REQUIRED)
add_library(dep::sdl2 INTERFACE IMPORTED)
target_link_libraries(dep::sdl2 INTERFACE SDL2::SDL2)

# Xlib beside SDL, in the sdl display backend only: the compositing manager
# and the ARGB visual of layered windows.
find_package(X11 REQUIRED)
add_library(dep::x11 INTERFACE IMPORTED)
target_link_libraries(dep::x11 INTERFACE X11::X11)

pkg_check_modules(PANGOCAIRO REQUIRED IMPORTED_TARGET pangocairo cairo pango fontconfig)
add_library(dep::pangocairo INTERFACE IMPORTED)
target_link_libraries(dep::pangocairo INTERFACE PkgConfig::PANGOCAIRO)

find_package(CURL REQUIRED)
add_library(dep::curl INTERFACE IMPORTED)
target_link_libraries(dep::curl INTERFACE CURL::libcurl)

find_package(OpenSSL 3 REQUIRED)
add_library(dep::openssl INTERFACE IMPORTED)
target_link_libraries(dep::openssl INTERFACE OpenSSL::SSL OpenSSL::Crypto)

find_package(jsoncpp CONFIG REQUIRED)
add_library(dep::jsoncpp INTERFACE IMPORTED)
if(TARGET JsonCpp::JsonCpp)
  target_link_libraries(dep::jsoncpp INTERFACE JsonCpp::JsonCpp)
else()
  target_link_libraries(dep::jsoncpp INTERFACE jsoncpp_lib)
endif()

find_package(ZLIB REQUIRED)
add_library(dep::zlib INTERFACE IMPORTED)
target_link_libraries(dep::zlib INTERFACE ZLIB::ZLIB)

pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
add_library(dep::minizip INTERFACE IMPORTED)
target_link_libraries(dep::minizip INTERFACE PkgConfig::MINIZIP ZLIB::ZLIB)

pkg_check_modules(STB REQUIRED IMPORTED_TARGET stb)
add_library(dep::stb INTERFACE IMPORTED)
target_link_libraries(dep::stb INTERFACE PkgConfig::STB)

# cpp-httplib in Debian is a compiled library: its cflags must match.
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
add_library(dep::httplib INTERFACE IMPORTED)
target_link_libraries(dep::httplib INTERFACE PkgConfig::HTTPLIB OpenSSL::SSL OpenSSL::Crypto)

# The desktop portal (folder chooser) over the session bus.
pkg_check_modules(DBUS REQUIRED IMPORTED_TARGET dbus-1)
add_library(dep::dbus INTERFACE IMPORTED)
target_link_libraries(dep::dbus INTERFACE PkgConfig::DBUS)

if(QUELLAN_TESTS)
  find_package(GTest REQUIRED)
endif()
