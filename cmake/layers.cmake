# SPDX-License-Identifier: GPL-3.0-or-later
# Folders are layers: each library sees only the folders it may use. Its
# include path is a view in the build tree that holds links to exactly those
# folders (or single headers), so including from a folder above fails to
# compile instead of slipping through a shared include root.
#
#   orbicrop_layer_view(<target> <path>...)   paths relative to the source root
#   orbicrop_layer(<target> <folder>)           the paths the layer table gives the folder
function(orbicrop_layer_view target)
  set(view ${CMAKE_BINARY_DIR}/layers/${target})
  file(REMOVE_RECURSE ${view})
  foreach(entry ${ARGN})
    if(NOT EXISTS ${PROJECT_SOURCE_DIR}/${entry})
      message(FATAL_ERROR "${target}: no folder or file ${entry} to see")
    endif()
    get_filename_component(parent ${view}/${entry} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${entry} ${view}/${entry} SYMBOLIC)
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${view})
  else()
    target_include_directories(${target} PUBLIC ${view})
  endif()
endfunction()

include(${CMAKE_CURRENT_LIST_DIR}/layer_table.cmake)

function(orbicrop_layer target folder)
  foreach(layer ${ORBICROP_LAYERS})
    string(REPLACE "|" ";" parts "${layer}")
    list(GET parts 0 name)
    if(name STREQUAL folder)
      list(GET parts 1 uses)
      string(REPLACE " " ";" uses "${uses}")
      orbicrop_layer_view(${target} ${uses})
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "${target}: ${folder} is not in the layer table (cmake/layer_table.cmake)")
endfunction()
