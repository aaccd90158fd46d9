# Type libraries compiled from IDL with widl, for the tests' fixtures and the test server.
# VANTREL_HAVE_WIDL tells whether widl, the platform's IDL files and both platforms' stdole2.tlb
# are there; without them the tests that need such libraries are left out, with a message.
find_program(VANTREL_WIDL_PROGRAM NAMES ${VANTREL_WIDL} i686-w64-mingw32-widl x86_64-w64-mingw32-widl widl
  NO_CMAKE_FIND_ROOT_PATH)
set(VANTREL_WINE_IDL_DIR "/usr/include/wine/wine/windows" CACHE PATH "Folder of the platform's IDL files (oaidl.idl)")
find_path(VANTREL_STDOLE32_DIR stdole2.tlb
  PATHS /usr/lib/i386-linux-gnu/wine/i386-windows /usr/lib/wine/i386-windows
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
find_path(VANTREL_STDOLE64_DIR stdole2.tlb
  PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/wine/x86_64-windows
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(VANTREL_WIDL_PROGRAM AND EXISTS "${VANTREL_WINE_IDL_DIR}/oaidl.idl" AND VANTREL_STDOLE32_DIR AND
   VANTREL_STDOLE64_DIR)
  set(VANTREL_HAVE_WIDL ON)
else()
  set(VANTREL_HAVE_WIDL OFF)
  message(STATUS "widl, the platform's IDL files (VANTREL_WINE_IDL_DIR) or stdole2.tlb (VANTREL_STDOLE32_DIR, "
                 "VANTREL_STDOLE64_DIR) not found: the tests that need type libraries compiled from IDL are left out")
endif()

# vantrel_widl(<idl> PLATFORM win32|win64 TYPELIB <file> [HEADER <file>] [IMPORTS <tlb>...]): the
# build command that compiles <idl> into a type library of that platform, and its C header when
# asked for. IMPORTS: libraries the IDL imports with importlib, built before it.
function(vantrel_widl IDL)
  cmake_parse_arguments(ARG "" "PLATFORM;TYPELIB;HEADER" "IMPORTS" ${ARGN})
  if(ARG_PLATFORM STREQUAL "win64")
    set(stdole "${VANTREL_STDOLE64_DIR}")
  else()
    set(stdole "${VANTREL_STDOLE32_DIR}")
  endif()
  get_filename_component(idl_dir "${IDL}" DIRECTORY)
  set(flags -I "${VANTREL_WINE_IDL_DIR}" -I "${idl_dir}" -L "${stdole}" --${ARG_PLATFORM})
  foreach(import ${ARG_IMPORTS})
    get_filename_component(import_dir "${import}" DIRECTORY)
    list(APPEND flags -L "${import_dir}")
  endforeach()
  set(outputs "${ARG_TYPELIB}")
  set(commands COMMAND "${VANTREL_WIDL_PROGRAM}" ${flags} -t -o "${ARG_TYPELIB}" "${IDL}")
  if(ARG_HEADER)
    list(APPEND outputs "${ARG_HEADER}")
    list(APPEND commands COMMAND "${VANTREL_WIDL_PROGRAM}" ${flags} -h -H "${ARG_HEADER}" "${IDL}")
  endif()
  get_filename_component(folder "${ARG_TYPELIB}" DIRECTORY)
  get_filename_component(name "${IDL}" NAME)
  add_custom_command(
    OUTPUT ${outputs}
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${folder}"
    ${commands}
    DEPENDS "${IDL}" ${ARG_IMPORTS}
    COMMENT "widl ${name}"
    VERBATIM)
endfunction()
