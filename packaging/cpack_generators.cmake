# Read by cpack for each generator: the Debian package takes the system
# layout, every other generator the portable folder.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_COMPONENTS_ALL system)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
else()
  set(CPACK_COMPONENTS_ALL portable)
  # One folder, rtupoll-0.1.0-Linux-x86_64/, that unpacks as a whole.
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()
