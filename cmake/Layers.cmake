# The layers of the program and the check that keeps them: a library may include the headers of the
# libraries it links, and no others. vantrel_check_layers(<library>...) runs the check with every
# build, over the sources and headers each library lists; a lower layer that includes an upper one
# fails the build.
function(vantrel_check_layers)
  set(manifest "set(VANTREL_LAYERS \"${ARGN}\")\n")
  set(all_files "")
  foreach(target IN LISTS ARGN)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(sources ${target} INTERFACE_SOURCES)
    else()
      get_target_property(sources ${target} SOURCES)
    endif()
    get_target_property(dir ${target} SOURCE_DIR)
    set(files "")
    foreach(source IN LISTS sources)
      if(source MATCHES "\\.(cpp|h)$")
        get_filename_component(path "${source}" ABSOLUTE BASE_DIR "${dir}")
        file(RELATIVE_PATH relative "${PROJECT_SOURCE_DIR}" "${path}")
        list(APPEND files "${relative}")
        list(APPEND all_files "${path}")
      endif()
    endforeach()
    # The libraries it may use: itself and everything it links, directly or through others.
    set(allowed ${target})
    set(pending ${target})
    while(pending)
      list(POP_FRONT pending current)
      get_target_property(links ${current} LINK_LIBRARIES)
      get_target_property(interface_links ${current} INTERFACE_LINK_LIBRARIES)
      foreach(link IN LISTS links interface_links)
        if(link IN_LIST ARGN AND NOT link IN_LIST allowed)
          list(APPEND allowed ${link})
          list(APPEND pending ${link})
        endif()
      endforeach()
    endwhile()
    string(APPEND manifest "set(VANTREL_LAYER_${target}_FILES \"${files}\")\n")
    string(APPEND manifest "set(VANTREL_LAYER_${target}_ALLOWED \"${allowed}\")\n")
  endforeach()
  set(manifest_file "${CMAKE_BINARY_DIR}/layers/manifest.cmake")
  file(WRITE "${manifest_file}" "${manifest}")
  set(stamp "${CMAKE_BINARY_DIR}/layers/checked.stamp")
  add_custom_command(
    OUTPUT "${stamp}"
    COMMAND "${CMAKE_COMMAND}" -DMANIFEST=${manifest_file} -DROOT=${PROJECT_SOURCE_DIR}
            -P "${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake"
    COMMAND "${CMAKE_COMMAND}" -E touch "${stamp}"
    DEPENDS ${all_files} "${manifest_file}" "${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake"
    COMMENT "Checking that every library includes only what it links"
    VERBATIM)
  add_custom_target(check_layers ALL DEPENDS "${stamp}")
endfunction()
