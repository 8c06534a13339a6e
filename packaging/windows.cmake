# What a Windows build of the program carries beyond its code: the icon and
# version information of rtupoll.exe, in a resource script compiled by the
# resource compiler (windres, or rc with MSVC), and the window's font.

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
  set(RTUPOLL_RC_ICON "1 ICON \"${RTUPOLL_ICO}\"")
endif()
configure_file(packaging/windows/rtupoll.rc.in rtupoll.rc @ONLY)
target_sources(rtupoll PRIVATE ${PROJECT_BINARY_DIR}/rtupoll.rc)
if(RTUPOLL_ICO)
  set_source_files_properties(${PROJECT_BINARY_DIR}/rtupoll.rc PROPERTIES OBJECT_DEPENDS ${RTUPOLL_ICO})
endif()
