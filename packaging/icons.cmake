# The program's icon in the sizes desktops ask for, drawn at build time from
# packaging/desktop/rtupoll.svg with librsvg's rsvg-convert, laid out as an
# icon theme lays them out (icons/hicolor/48x48/apps/rtupoll.png). The same
# files are the window's icon, compiled into the view library (rtupoll_view), and are
# installed into the system's icon theme.

# Without rsvg-convert (a Windows machine, say) the program is built
# without an icon: the window shows the system's default one.
find_program(RSVG_CONVERT rsvg-convert)
set(RTUPOLL_ICON_PNGS)
if(NOT RSVG_CONVERT)
  message(STATUS "rsvg-convert not found (Debian: librsvg2-bin): the program is built without its icon")
  return()
endif()

set(RTUPOLL_ICON_SVG ${PROJECT_SOURCE_DIR}/packaging/desktop/rtupoll.svg)
set(RTUPOLL_ICON_DIR ${PROJECT_BINARY_DIR}/icons)
set(RTUPOLL_ICON_SIZES 16 22 24 32 48 64 128 256)
foreach(size IN LISTS RTUPOLL_ICON_SIZES)
  set(png ${RTUPOLL_ICON_DIR}/hicolor/${size}x${size}/apps/rtupoll.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${RTUPOLL_ICON_DIR}/hicolor/${size}x${size}/apps
    COMMAND ${RSVG_CONVERT} --width=${size} --height=${size} --output=${png} ${RTUPOLL_ICON_SVG}
    DEPENDS ${RTUPOLL_ICON_SVG}
    COMMENT "Drawing the ${size}x${size} icon"
    VERBATIM)
  list(APPEND RTUPOLL_ICON_PNGS ${png})
endforeach()

qt_add_resources(rtupoll_view program_icon
  PREFIX /icons
  BASE ${RTUPOLL_ICON_DIR}
  FILES ${RTUPOLL_ICON_PNGS})
