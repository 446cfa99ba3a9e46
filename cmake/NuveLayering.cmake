# The layers are kept apart by the build itself.
#
# nuve_layer_include_root(target folder): the target's public include path is
# a folder in the build tree that holds a single link, named after `folder`,
# to src/<folder>. Its sources and its users then find "<folder>/..." headers
# and nothing else of src/, so a core or server file that includes a window
# header does not compile.
#
# nuve_layer_forbid_includes(target folder): before the target is compiled,
# every file under src/<folder> is read, and the build stops, naming the file
# and the line, at any include of GTK, GDK, gtkmm, WebKit or a src/ui header.
set(NUVE_LAYERING_CHECK ${CMAKE_CURRENT_LIST_DIR}/check_layering.cmake)

function(nuve_layer_include_root target folder)
  set(root ${CMAKE_CURRENT_BINARY_DIR}/include_root)
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
  target_include_directories(${target} PUBLIC ${root})
endfunction()

function(nuve_layer_forbid_includes target folder)
  file(GLOB_RECURSE files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${folder}/*.h
       ${PROJECT_SOURCE_DIR}/src/${folder}/*.cpp ${PROJECT_SOURCE_DIR}/src/${folder}/*.in)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}_layering.stamp)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DFOLDER=${PROJECT_SOURCE_DIR}/src/${folder} -DSTAMP=${stamp}
            -P ${NUVE_LAYERING_CHECK}
    DEPENDS ${files} ${NUVE_LAYERING_CHECK}
    COMMENT "Checking that src/${folder} includes no window-toolkit or web-engine header"
    VERBATIM)
  add_custom_target(${target}_layering DEPENDS ${stamp})
  add_dependencies(${target} ${target}_layering)
endfunction()
