# Renders the program icon at the hicolor theme's sizes, at build time, from
# the one icon file the program also embeds.
#   cmake -DSOURCE=icon.png -DOUTPUT_DIR=dir -DCONVERT=/usr/bin/convert -P GenerateIcons.cmake
# Writes OUTPUT_DIR/hicolor/<N>x<N>/apps/quellan.png for every theme size up to
# the source's size (at least up to 48, the size menus ask for most), so a
# larger icon file yields larger sizes without touching this script.
cmake_minimum_required(VERSION 3.25)

file(READ "${SOURCE}" header LIMIT 24 HEX)
string(LENGTH "${header}" header_length)
if(header_length EQUAL 48)
  string(SUBSTRING "${header}" 0 16 signature)
  string(SUBSTRING "${header}" 24 8 chunk)
endif()
if(NOT header_length EQUAL 48 OR NOT signature STREQUAL "89504e470d0a1a0a" OR NOT chunk STREQUAL "49484452")
  message(FATAL_ERROR "${SOURCE} is not a PNG image")
endif()
string(SUBSTRING "${header}" 32 8 width_hex)
string(SUBSTRING "${header}" 40 8 height_hex)
math(EXPR width "0x${width_hex}")
math(EXPR height "0x${height_hex}")
set(side ${width})
if(height GREATER side)
  set(side ${height})
endif()
set(largest ${side})
if(largest LESS 48)
  set(largest 48)
endif()

file(REMOVE_RECURSE "${OUTPUT_DIR}/hicolor")
foreach(size 16 22 24 32 48 64 128 256 512)
  if(size GREATER largest)
    break()
  endif()
  set(dir "${OUTPUT_DIR}/hicolor/${size}x${size}/apps")
  file(MAKE_DIRECTORY "${dir}")
  # A non-square source is centred on a transparent square first. No text or
  # time chunks, so the same icon always gives the same bytes.
  execute_process(
    COMMAND "${CONVERT}" "${SOURCE}" -background none -gravity center -extent ${side}x${side}
            -resize ${size}x${size} -strip -define png:exclude-chunks=date,time "PNG32:${dir}/quellan.png"
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${CONVERT} failed to render the ${size}x${size} icon")
  endif()
endforeach()
