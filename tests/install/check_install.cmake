# Installs the built tree into a fresh prefix, builds the converter example
# against it through the CMake package and through pkg-config, and runs it:
# OBJ to native, native back to OBJ, and a missing file. Also checks the
# installed layout and that internal helpers are not exported.
#
# Variables: BUILD_DIR, EXAMPLE_DIR, WORK, CXX, GENERATOR, MAKE_PROGRAM,
# CXX_FLAGS, LINK_FLAGS.

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _err)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "failed (${_rc}): ${ARGN}\n${_out}\n${_err}")
  endif()
  set(RUN_OUT "${_out}" PARENT_SCOPE)
endfunction()

function(expect_match text regex what)
  if(NOT "${text}" MATCHES "${regex}")
    message(FATAL_ERROR "${what}: no match for '${regex}' in:\n${text}")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK})
set(PREFIX ${WORK}/prefix)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX})

# Layout: headers by folder without the private ones, the package files, the
# library under its SONAME.
file(GLOB_RECURSE _private ${PREFIX}/include/qox/*_private.h ${PREFIX}/include/qox/*_internal.h)
if(_private)
  message(FATAL_ERROR "private headers installed: ${_private}")
endif()
# Internal helpers stay out: threads of one call, each format's reader and
# writer with their scanning, records and arrays, the native reader.
foreach(_internal base/kparallel.h formats/obj/kqoxobjscan.h formats/obj/kqoxobjarray.h formats/obj/kqoxobjrecords.h
                  formats/obj/kqoxobjparallel.h formats/obj/kqoxreaderobj.h formats/dxf/kqoxreaderdxf.h
                  formats/ftk3ds/ftk3ds.h fileio/kqoxreaderqox.h)
  if(EXISTS ${PREFIX}/include/qox/${_internal})
    message(FATAL_ERROR "internal header installed: ${_internal}")
  endif()
endforeach()
# Every installed header builds against the installed headers alone: what a
# public header includes is installed too. (The *_table.h files are lists
# expanded inside the header that includes them.)
file(GLOB_RECURSE _installed RELATIVE ${PREFIX}/include/qox ${PREFIX}/include/qox/*.h)
set(_all_headers "")
foreach(_header IN LISTS _installed)
  if(_header MATCHES "_table\\.h$")
    continue()
  endif()
  string(APPEND _all_headers "#include \"${_header}\"\n")
endforeach()
file(WRITE ${WORK}/all_headers.cpp "${_all_headers}int main() { return 0; }\n")
run(${CXX} -std=c++17 -fsyntax-only -I${PREFIX}/include/qox ${WORK}/all_headers.cpp)
file(GLOB _config ${PREFIX}/lib*/cmake/QoxSdk/QoxSdkConfig.cmake ${PREFIX}/lib*/*/cmake/QoxSdk/QoxSdkConfig.cmake)
file(GLOB _pc ${PREFIX}/lib*/pkgconfig/qoxsdk.pc ${PREFIX}/lib*/*/pkgconfig/qoxsdk.pc)
file(GLOB _lib ${PREFIX}/lib*/libqoxsdk.so.*.*.* ${PREFIX}/lib*/*/libqoxsdk.so.*.*.*)
foreach(_need base/kerror.h fileio/kqoximporter.h fileio/kqoxexporter.h scene/kqoxscene.h)
  if(NOT EXISTS ${PREFIX}/include/qox/${_need})
    message(FATAL_ERROR "header not installed: ${_need}")
  endif()
endforeach()
if(NOT _config OR NOT _pc OR NOT _lib)
  message(FATAL_ERROR "package incomplete: config '${_config}' pc '${_pc}' lib '${_lib}'")
endif()
get_filename_component(_pcdir ${_pc} DIRECTORY)
run(readelf -d ${_lib})
expect_match("${RUN_OUT}" "SONAME[^\n]*libqoxsdk\\.so\\.[0-9]+\\]" "SONAME")

# Exports: the public classes yes, internal helper namespaces no.
run(nm -D -C --defined-only ${_lib})
set(_symbols "${RUN_OUT}")
expect_match("${_symbols}" "qoxsdk_600::KQoxImporter::Import\\(" "public symbol")
expect_match("${_symbols}" " KString::KString\\(" "public global class")
expect_match("${_symbols}" " ExtractFileName\\(" "public global function")
string(REGEX MATCH "[0-9a-f]+ [A-Za-z] (std::|qoxsdk_600::(qoxnative|attr|kqoxtiff)::|ftk3ds::|kfcurvenode_detail::|KQoxPrivate::|KRunPortions|KDefaultThreads|qoxsdk_600::KObj|qoxsdk_600::KQoxReaderObj::|KFCurveGroupScope::)[^\n]*"
       _internal "${_symbols}")
if(_internal)
  message(FATAL_ERROR "internal helper exported: ${_internal}")
endif()

# The export list names each exported symbol (no patterns for the linker to
# match every symbol against), and the library exports exactly those.
file(READ ${BUILD_DIR}/qoxsdk.map _map)
string(REGEX REPLACE "^.*global:\n(.*)  local:.*$" "\\1" _global "${_map}")
string(REGEX MATCHALL "    [^\n;]+" _map_lines "${_global}")
set(_listed "")
foreach(_line IN LISTS _map_lines)
  string(STRIP "${_line}" _symbol)
  if(_symbol MATCHES "[][*?]")
    message(FATAL_ERROR "export list holds a pattern: ${_symbol}")
  endif()
  list(APPEND _listed ${_symbol})
endforeach()
run(nm -D --defined-only ${_lib})
string(REGEX MATCHALL "[0-9a-f]+ [A-Za-z] [^\n]+" _defined "${RUN_OUT}")
set(_exported "")
foreach(_entry IN LISTS _defined)
  string(REGEX REPLACE "^[0-9a-f]+ [A-Za-z] " "" _symbol "${_entry}")
  list(APPEND _exported ${_symbol})
endforeach()
list(REMOVE_DUPLICATES _exported)
list(SORT _listed)
list(SORT _exported)
if(NOT _listed STREQUAL _exported)
  list(LENGTH _listed _nlisted)
  list(LENGTH _exported _nexported)
  message(FATAL_ERROR "the library exports ${_nexported} symbols, its export list names ${_nlisted}")
endif()

# A small OBJ scene: one triangle and one quad with their material.
file(WRITE ${WORK}/cube.mtl "newmtl red\nKd 1 0 0\n")
file(WRITE ${WORK}/cube.obj "mtllib cube.mtl\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\ng part\nusemtl red\nf 1 2 3\nf 1 3 4 2\n")

foreach(_mode package pkgconfig)
  set(_build ${WORK}/build-${_mode})
  set(_args -S ${EXAMPLE_DIR} -B ${_build} -G ${GENERATOR} -DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM}
            -DCMAKE_CXX_COMPILER=${CXX} "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${LINK_FLAGS}"
            -DCMAKE_PREFIX_PATH=${PREFIX})
  if(_mode STREQUAL "pkgconfig")
    set(ENV{PKG_CONFIG_PATH} ${_pcdir})
    list(APPEND _args -DCONVERT_WITH_PKGCONFIG=ON)
  endif()
  run(${CMAKE_COMMAND} ${_args})
  run(${CMAKE_COMMAND} --build ${_build})
  set(_convert ${_build}/convert)

  run(${_convert} ${WORK}/cube.obj ${WORK}/${_mode}.qox)
  expect_match("${RUN_OUT}" "QOX binary" "${_mode}: OBJ to native")
  file(SIZE ${WORK}/${_mode}.qox _size)
  if(_size LESS 100)
    message(FATAL_ERROR "${_mode}: native file of ${_size} bytes")
  endif()

  run(${_convert} ${WORK}/${_mode}.qox ${WORK}/${_mode}.obj)
  file(READ ${WORK}/${_mode}.obj _obj)
  expect_match("${_obj}" "\nv 1(\\.0+)? 1(\\.0+)? 0" "${_mode}: vertices back in OBJ")
  expect_match("${_obj}" "\nusemtl red\nf [0-9/]+ [0-9/]+ [0-9/]+\nf [0-9/]+ [0-9/]+ [0-9/]+ [0-9/]+\n"
               "${_mode}: triangle and quad back in OBJ")

  execute_process(COMMAND ${_convert} ${WORK}/missing.obj ${WORK}/x.qox RESULT_VARIABLE _rc ERROR_VARIABLE _err)
  if(NOT _rc EQUAL 1 OR NOT _err MATCHES "convert: cannot open .*missing.obj: .")
    message(FATAL_ERROR "${_mode}: missing file gave ${_rc}: ${_err}")
  endif()
endforeach()
message(STATUS "installed SDK builds and runs the converter both ways")
