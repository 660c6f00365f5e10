# SPDX-License-Identifier: GPL-3.0-or-later
# Folders are layers: each library sees only the folders it may use. Its
# include path is a view in the build tree that holds links to exactly those
# folders (or single headers), so including from a folder above fails to
# compile instead of slipping through a shared include root.
#
#   orbicrop_layer_view(<target> <path>...)   paths relative to the source root
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
