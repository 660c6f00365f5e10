# SPDX-License-Identifier: GPL-3.0-or-later
# The program's loadable modules: work whose libraries the programs should
# not load until it is needed (FFmpeg, the still-image formats, OpenCV). The
# programs find them with LoadModule (fileio/program_module.h).
#
#   orbicrop_module(<name> <source> MAP <version script> LINK <library>...)
#
# makes <name>.so (no "lib" prefix) beside the programs in the build tree,
# installed in ${ORBICROP_MODULE_DIR}; the version script exports its one
# extern "C" entry point and hides everything it links, so that its copies
# of our libraries never mix with the program's.
function(orbicrop_module name source)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "MAP" "LINK")
  add_library(${name} MODULE ${source})
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
    LINK_DEPENDS ${arg_MAP})
  target_link_libraries(${name} PRIVATE ${arg_LINK} orbicrop_options)
  target_link_options(${name} PRIVATE -Wl,--version-script=${arg_MAP})
  install(TARGETS ${name} LIBRARY DESTINATION ${ORBICROP_MODULE_DIR})
endfunction()

# Static libraries a module links are compiled for a shared object. The
# module's map hides their symbols, so nothing can interpose them: calls
# within them may stay direct and inlined, as in the programs.
#
#   orbicrop_linked_into_module(<library>...)
function(orbicrop_linked_into_module)
  foreach(library ${ARGN})
    set_target_properties(${library} PROPERTIES POSITION_INDEPENDENT_CODE ON)
    target_compile_options(${library} PRIVATE -fno-semantic-interposition)
  endforeach()
endfunction()
