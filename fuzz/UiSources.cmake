# Sources of ours that the framework fuzz targets compile in (instrumented),
# shared by fuzz/markup, imagedesc, richtext, imageload, archive and builder
# (which adds the rest of ui/ and the window system).
set(QUELLAN_FUZZ_UI_SOURCES
  ${CMAKE_SOURCE_DIR}/ui/core/StringUI.cpp
  ${CMAKE_SOURCE_DIR}/ui/core/FormManagerResources.cpp
  ${CMAKE_SOURCE_DIR}/ui/markup/SkinXml.cpp
  ${CMAKE_SOURCE_DIR}/ui/render/Colour.cpp
  ${CMAKE_SOURCE_DIR}/ui/render/ImageDescription.cpp
  ${CMAKE_SOURCE_DIR}/ui/render/ImageLoader.cpp
  ${CMAKE_SOURCE_DIR}/ui/render/RenderEngine.cpp
  ${CMAKE_SOURCE_DIR}/ui/render/RichText.cpp
  ${CMAKE_SOURCE_DIR}/ui/render/SkinSource.cpp
  ${CMAKE_SOURCE_DIR}/util/Text.cpp
  ${CMAKE_SOURCE_DIR}/util/ZipCrypto.cpp
  ${CMAKE_SOURCE_DIR}/platform/graphics/GraphicsCanvas.cpp
  ${CMAKE_SOURCE_DIR}/platform/graphics/GraphicsPath.cpp
  ${CMAKE_SOURCE_DIR}/platform/graphics/GraphicsSurface.cpp
  ${CMAKE_SOURCE_DIR}/platform/graphics/GraphicsText.cpp
  ${CMAKE_SOURCE_DIR}/platform/system/Resources.cpp
  ${CMAKE_SOURCE_DIR}/platform/system/System.cpp
  ${CMAKE_SOURCE_DIR}/platform/system/Text.cpp)
set(QUELLAN_FUZZ_UI_LIBS dep::pangocairo dep::minizip dep::zlib dep::stb dep::openssl)
