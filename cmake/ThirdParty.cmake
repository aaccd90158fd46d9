# Scintilla and Lexilla as static libraries, built from the sources of Debian's scite package
# (tools/lib/setup.sh fetches them into .deps/scite). Only the Pascal lexer is linked.
set(VANTREL_SCITE_DIR "" CACHE PATH "Folder holding the scintilla/ and lexilla/ source trees")
if(NOT EXISTS "${VANTREL_SCITE_DIR}/scintilla/include/Scintilla.h")
  message(FATAL_ERROR "VANTREL_SCITE_DIR must name a folder with scintilla/ and lexilla/ (scite 5.x sources)")
endif()

set(SCI "${VANTREL_SCITE_DIR}/scintilla")
file(GLOB SCINTILLA_CORE_SOURCES "${SCI}/src/*.cxx")
add_library(scintilla STATIC
  ${SCINTILLA_CORE_SOURCES}
  "${SCI}/win32/PlatWin.cxx"
  "${SCI}/win32/ScintillaWin.cxx"
  "${SCI}/win32/HanjaDic.cxx")
target_include_directories(scintilla SYSTEM PUBLIC "${SCI}/include" PRIVATE "${SCI}/src" "${SCI}/win32")
target_compile_definitions(scintilla PRIVATE NDEBUG STATIC_BUILD)
target_compile_features(scintilla PUBLIC cxx_std_17)
target_link_libraries(scintilla PUBLIC gdi32 user32 imm32 ole32 uuid oleaut32 msimg32)
if(NOT MSVC)
  target_compile_options(scintilla PRIVATE -O2 -w)
endif()

set(LEX "${VANTREL_SCITE_DIR}/lexilla")
file(GLOB LEXLIB_SOURCES "${LEX}/lexlib/*.cxx")
# The viewer's lexers: Pascal for the units, C++ for IDL.
add_library(lexilla_pascal STATIC ${LEXLIB_SOURCES} "${LEX}/lexers/LexPascal.cxx" "${LEX}/lexers/LexCPP.cxx")
target_include_directories(lexilla_pascal SYSTEM
  PUBLIC "${LEX}/include" "${LEX}/lexlib" "${SCI}/include")
target_compile_definitions(lexilla_pascal PRIVATE NDEBUG)
target_compile_features(lexilla_pascal PUBLIC cxx_std_17)
if(NOT MSVC)
  target_compile_options(lexilla_pascal PRIVATE -O2 -w)
endif()

# GoogleTest from Debian's googletest sources (or any checkout given by VANTREL_GOOGLETEST_DIR).
if(VANTREL_BUILD_TESTS)
  set(VANTREL_GOOGLETEST_DIR "/usr/src/googletest" CACHE PATH "GoogleTest source tree")
  # The static runtime, as the program's own libraries use it.
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory("${VANTREL_GOOGLETEST_DIR}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
  # Its headers are system headers to the tests: their warnings are not ours.
  foreach(library gtest gtest_main)
    get_target_property(includes ${library} INTERFACE_INCLUDE_DIRECTORIES)
    set_target_properties(${library} PROPERTIES INTERFACE_SYSTEM_INCLUDE_DIRECTORIES "${includes}")
  endforeach()
endif()
