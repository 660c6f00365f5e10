# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a source folder includes a header from a folder it may not use.
# The build's include views already refuse such includes; this check names
# the offending line, and covers headers no target compiles on its own.
#
#   cmake -DROOT=<source tree> -P check_layers.cmake

# Folder (deepest first) and the folders or headers it may include from.
set(layers
  "video/ffmpeg|image debayer fileio avi/riff_ids.h analysis video/frame_source.h video/read_ahead.h video/avi video/ffmpeg"
  "video/avi|image debayer fileio avi/riff_ids.h analysis video/frame_source.h video/read_ahead.h video/avi"
  "video/ser|image debayer fileio analysis ser video/frame_source.h video/read_ahead.h video/ser"
  "video|image debayer analysis video/frame_source.h video/read_ahead.h"
  "image|image"
  "debayer|image fileio debayer"
  "fileio|fileio"
  "analysis|image debayer analysis"
  "avi|image fileio avi"
  "ser|fileio ser"
  "stills|stills"
  "surface|image debayer analysis surface"
  "run|image debayer fileio analysis avi ser stills video surface run"
  "settings|image debayer fileio analysis settings"
  "cli|image debayer fileio analysis avi ser stills video surface run settings cli"
  "app|image debayer fileio analysis avi ser stills video surface run settings app"
  "tools|image debayer fileio analysis avi ser stills video surface run tools")

if(NOT ROOT)
  message(FATAL_ERROR "usage: cmake -DROOT=<source tree> -P check_layers.cmake")
endif()

set(violations 0)
set(checked 0)
cmake_policy(SET CMP0009 NEW)
set(sources "")
foreach(top image fileio debayer analysis avi ser stills video surface run settings cli app tools)
  file(GLOB_RECURSE found RELATIVE ${ROOT} ${ROOT}/${top}/*.h ${ROOT}/${top}/*.cpp)
  list(APPEND sources ${found})
endforeach()
foreach(source ${sources})
  set(allowed "")
  foreach(layer ${layers})
    string(REPLACE "|" ";" parts "${layer}")
    list(GET parts 0 folder)
    list(GET parts 1 uses)
    string(FIND "${source}" "${folder}/" at)
    if(at EQUAL 0)
      string(REPLACE " " ";" allowed "${uses}")
      break()
    endif()
  endforeach()
  if(NOT allowed)
    continue()   # tests, benchmarks, fuzzers: not a layer
  endif()
  math(EXPR checked "${checked} + 1")
  file(STRINGS ${ROOT}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line ${includes})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" header "${line}")
    if(NOT header MATCHES "/")
      continue()   # a header beside the file
    endif()
    set(ok FALSE)
    foreach(use ${allowed})
      if(header STREQUAL use OR header MATCHES "^${use}/")
        set(ok TRUE)
      endif()
    endforeach()
    if(NOT ok)
      message("${source}: includes \"${header}\" from a folder it may not use")
      math(EXPR violations "${violations} + 1")
    endif()
  endforeach()
endforeach()

if(checked EQUAL 0)
  message(FATAL_ERROR "no layer source found under ${ROOT}")
endif()
if(violations GREATER 0)
  message(FATAL_ERROR "${violations} include(s) point up the layers")
endif()
message("${checked} files, every include points down the layers")
