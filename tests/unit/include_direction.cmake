# Holds the layers of src/ to their order: every #include "folder/..." of a
# source file points at its own folder or at a folder below it, never up
# and never sideways into another folder of the same layer. The core
# (the layers up to app/) and the tests on the virtual runtime include no
# Qt header.
#   cmake -DSOURCE_DIR=<the source tree> -P include_direction.cmake

# From the bottom, one layer a line. The subsystems' handlers share a
# layer: they know each other only through the window model.
set(layers
  "base"
  "env"
  "window"
  "polling|devices|settings|datalog"
  "app"
  "platform"
  "view"
  "main")  # src/main.cc
set(core_top 4)  # app

set(rank 0)
foreach(layer IN LISTS layers)
  string(REPLACE "|" ";" folders "${layer}")
  foreach(folder IN LISTS folders)
    set(rank_of_${folder} ${rank})
  endforeach()
  math(EXPR rank "${rank} + 1")
endforeach()

set(faults)
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}/src ${SOURCE_DIR}/src/*.h ${SOURCE_DIR}/src/*.cc)
foreach(source IN LISTS sources)
  get_filename_component(folder ${source} DIRECTORY)
  if(folder STREQUAL "")
    set(folder main)
  endif()
  if(NOT DEFINED rank_of_${folder})
    list(APPEND faults "src/${source}: the folder ${folder}/ has no place among the layers")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/src/${source} includes REGEX "^#include [\"<]")
  foreach(line IN LISTS includes)
    if(line MATCHES "^#include \"([a-z_]+)/")
      set(target ${CMAKE_MATCH_1})
      if(NOT DEFINED rank_of_${target} OR target STREQUAL "main")
        list(APPEND faults "src/${source}: ${line} names no folder of src/")
      elseif(NOT target STREQUAL folder AND NOT rank_of_${target} LESS rank_of_${folder})
        list(APPEND faults "src/${source}: ${line} points up or sideways from ${folder}/")
      endif()
    elseif(line MATCHES "^#include <Q" AND NOT rank_of_${folder} GREATER core_top)
      list(APPEND faults "src/${source}: ${line}: the core includes no Qt header")
    endif()
  endforeach()
endforeach()

# The tests on the virtual runtime see the core and the system's files only.
file(GLOB_RECURSE unit_sources RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/tests/unit/*.cc ${SOURCE_DIR}/tests/unit/*.h
     ${SOURCE_DIR}/tests/support/*.cc ${SOURCE_DIR}/tests/support/*.h)
foreach(source IN LISTS unit_sources)
  file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^#include [\"<]")
  foreach(line IN LISTS includes)
    if(line MATCHES "^#include (<Q|\"view/|\"platform/(qt_|quit_signals))")
      list(APPEND faults "${source}: ${line}: the unit tests run without Qt")
    endif()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n" report)
  message(FATAL_ERROR "Includes against the layers:\n${report}")
endif()
list(LENGTH sources checked)
message(STATUS "All ${checked} files of src/ include downward only")
