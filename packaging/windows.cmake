# What a Windows build of the program carries beyond its code: the icon,
# version information and application manifest of rtupoll.exe, in a
# resource script compiled by the resource compiler (windres, or rc with
# MSVC), and the window's font.

# The icon: the drawn sizes (packaging/icons.cmake) packed into one .ico,
# the 256-pixel one as PNG, by icotool (Debian: icoutils). Without either,
# the program file shows Windows' default icon; the window has its own.
find_program(ICOTOOL icotool)
set(RTUPOLL_RC_ICON "// No icon: rsvg-convert or icotool was not found.")
if(ICOTOOL AND RTUPOLL_ICON_PNGS)
  set(RTUPOLL_ICO ${PROJECT_BINARY_DIR}/rtupoll.ico)
  set(bitmaps)
  foreach(size 16 24 32 48 64 128)
    list(APPEND bitmaps ${RTUPOLL_ICON_DIR}/hicolor/${size}x${size}/apps/rtupoll.png)
  endforeach()
  add_custom_command(OUTPUT ${RTUPOLL_ICO}
    COMMAND ${ICOTOOL} --create --output=${RTUPOLL_ICO} ${bitmaps}
            --raw=${RTUPOLL_ICON_DIR}/hicolor/256x256/apps/rtupoll.png
    DEPENDS ${RTUPOLL_ICON_PNGS}
    COMMENT "Packing the icon's sizes into rtupoll.ico"
    VERBATIM)
  # The program is made in src/, where this folder's commands are not seen.
  add_custom_target(rtupoll_ico DEPENDS ${RTUPOLL_ICO})
  set(RTUPOLL_RC_ICON "1 ICON \"${RTUPOLL_ICO}\"")
endif()
# The application manifest (packaging/windows/rtupoll.manifest.in).
set(RTUPOLL_MANIFEST ${PROJECT_BINARY_DIR}/rtupoll.manifest)
configure_file(packaging/windows/rtupoll.manifest.in ${RTUPOLL_MANIFEST} @ONLY)
configure_file(packaging/windows/rtupoll.rc.in rtupoll.rc @ONLY)
target_sources(rtupoll PRIVATE ${PROJECT_BINARY_DIR}/rtupoll.rc)
set(rc_depends ${RTUPOLL_MANIFEST})
if(RTUPOLL_ICO)
  add_dependencies(rtupoll rtupoll_ico)
  list(APPEND rc_depends ${RTUPOLL_ICO})
endif()
set_source_files_properties(${PROJECT_BINARY_DIR}/rtupoll.rc TARGET_DIRECTORY rtupoll
  PROPERTIES OBJECT_DEPENDS "${rc_depends}")

# The window's font, Liberation Sans (Debian: fonts-liberation2), compiled
# into the program, which adds it at its start: the window looks the same
# on every Windows and under Wine. Windows has Arial, of the same widths,
# which the window takes where the file is not at hand here.
find_file(RTUPOLL_WINDOW_FONT LiberationSans-Regular.ttf
  PATHS /usr/share/fonts/truetype/liberation2 NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
  DOC "Liberation Sans, the window's font, to compile into the program")
if(RTUPOLL_WINDOW_FONT)
  get_filename_component(font_folder ${RTUPOLL_WINDOW_FONT} DIRECTORY)
  qt_add_resources(rtupoll_view window_font
    PREFIX /fonts
    BASE ${font_folder}
    FILES ${RTUPOLL_WINDOW_FONT})
else()
  message(STATUS "Liberation Sans not found (Debian: fonts-liberation2): the window takes Arial")
endif()
