# The SDK as one shared library (qoxsdk) and its installation: headers under
# include/qox/<folder>/, the library, a CMake package (QoxSdk::qoxsdk), a
# pkg-config file, and the zelt runner with the plug-in when they are built.
#
# The shared library is linked from the static libraries the tests use (no
# second compilation). Its export list is a linker version script naming
# the symbols of the public classes and functions (qox_export_map);
# everything else stays local.
# Every library registered through qox_library whose name starts with qox_
# joins it, so a new library needs no change here.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# Public headers: those of the documented interface, the classes and functions
# a program uses (the scene model from base/ to character/, the importer and
# exporter with their format registry and options, and the format options of
# formats/), with every header they include. A program reaches each file format
# through the importer and exporter, so the readers and writers of the formats
# and their helpers are internal, as are the private headers (*_private.h,
# *_internal.h) and the helpers below, which serve one library's own code and
# which no public header includes. The install test builds every installed
# header against the installed tree alone, which holds the rule together.
set(QOX_INTERNAL_HEADERS
    # threads of one call, byte packing, text formatting
    base/kparallel.h base/kbytes.h base/kformattext.h
    # reverse walks, grouped channel allocation, channel building of characters
    object/kreversewalk.h fcurve/kfcurvegroup.h character/kcharacterblock.h
    # node maths and walks, property binding of the attribute classes
    scene/kqoxnode_math.h scene/kqoxnode_walk.h scene/kqoxpropertybinding.h
    # the native reader and writers and their view of a scene
    fileio/kqoxreaderqox.h fileio/kqoxfilescene.h fileio/writers/kqoxwriterqox.h fileio/writers/kqoxwriterqox6.h
    # the decimal scanner of the text formats
    formats/kqoxplaindecimal.h)
# Folders of internal headers only: each format's reader, writer and helpers.
set(QOX_INTERNAL_FOLDERS formats/obj formats/dxf formats/3ds formats/ftk3ds)

# The public headers of one library folder, as paths from the source tree.
function(qox_public_headers folder out)
  file(GLOB_RECURSE _all RELATIVE ${CMAKE_SOURCE_DIR} CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.h)
  set(_public "")
  foreach(_header IN LISTS _all)
    get_filename_component(_dir ${_header} DIRECTORY)
    if(_header MATCHES "_(private|internal)\\.h$" OR _header IN_LIST QOX_INTERNAL_HEADERS
       OR _dir IN_LIST QOX_INTERNAL_FOLDERS)
      continue()
    endif()
    list(APPEND _public ${_header})
  endforeach()
  set(${out} ${_public} PARENT_SCOPE)
endfunction()

# The export list of the library (a linker version script): every symbol of
# the classes and free functions declared in the public headers, with their
# virtual tables, type information and thunks; everything else stays local.
# The public names are read from the headers when the build is configured
# (qoxsdk.names, one a line); the script itself is written by qox_exportmap
# from the archives' symbols before the library is linked, naming each
# exported symbol, so neither its making nor the link grows with names times
# symbols.
function(qox_export_map target headers archives)
  set(_names "")
  foreach(_header IN LISTS headers)
    file(STRINGS ${CMAKE_SOURCE_DIR}/${_header} _lines
         REGEX "^(class|struct|template|extern|[A-Za-z_][A-Za-z0-9_:<>,*& ]*[ *&]operator|[A-Za-z_][A-Za-z0-9_:<>,*& ]*[ *&][A-Za-z_][A-Za-z0-9_]*\\()")
    foreach(_line IN LISTS _lines)
      if(_line MATCHES "^extern [^(]*[ *&]([A-Za-z_][A-Za-z0-9_]*)(\\[.*\\])? *;?$")
        list(APPEND _names "${CMAKE_MATCH_1}")
      elseif(_line MATCHES "^(template[^>]*> *)?(class|struct) +[A-Za-z_][A-Za-z0-9_]* *;")
        # a declaration only: the class is defined where it belongs
      elseif(_line MATCHES "^(template[^>]*> *)?(class|struct) +([A-Za-z_][A-Za-z0-9_]*)")
        list(APPEND _names "${CMAKE_MATCH_3}")
      elseif(_line MATCHES "[ *&](operator[^ (]*) *\\(")
        list(APPEND _names "operator")
      elseif(_line MATCHES "^(return|typedef|using) ")
        # not a declaration
      elseif(_line MATCHES "^[A-Za-z_][A-Za-z0-9_:<>,*& ]*[ *&]([A-Za-z_][A-Za-z0-9_]*)\\(")
        list(APPEND _names "${CMAKE_MATCH_1}")
      endif()
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES _names)
  list(REMOVE_ITEM _names "")
  list(SORT _names)
  list(JOIN _names "\n" _text)
  set(_list ${CMAKE_BINARY_DIR}/qoxsdk.names)
  # Written only when it changes, so a reconfigure relinks nothing.
  file(CONFIGURE OUTPUT ${_list} CONTENT "${_text}\n" @ONLY)

  set(_map ${CMAKE_BINARY_DIR}/qoxsdk.map)
  add_executable(qox_exportmap ${CMAKE_SOURCE_DIR}/tools/exportmap/main.cpp)
  add_custom_command(OUTPUT ${_map}
                     COMMAND qox_exportmap ${CMAKE_NM} ${_list} "qoxsdk_600::" ${_map} ${archives}
                     DEPENDS qox_exportmap ${_list} ${archives}
                     COMMENT "Writing the export list of the SDK library" VERBATIM)
  add_custom_target(qoxsdk_exports DEPENDS ${_map})
  add_dependencies(${target} qoxsdk_exports)
  target_link_options(${target} PRIVATE "LINKER:--version-script=${_map}")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${_map})
endfunction()

function(qox_package)
  get_property(_libraries GLOBAL PROPERTY QOX_LIBRARIES)
  set(_sdk_libraries "")
  foreach(_lib IN LISTS _libraries)
    if(_lib MATCHES "^qox_")
      list(APPEND _sdk_libraries ${_lib})
    endif()
  endforeach()

  # An empty source keeps add_library happy; every object comes from the archives.
  set(_stub ${CMAKE_BINARY_DIR}/qoxsdk_stub.cpp)
  if(NOT EXISTS ${_stub})
    file(WRITE ${_stub} "// The SDK library is made of the static libraries' objects.\n")
  endif()
  add_library(qoxsdk SHARED ${_stub})
  add_library(QoxSdk::qoxsdk ALIAS qoxsdk)
  set_target_properties(qoxsdk PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  # Every object of the archives, then what the archives themselves link
  # outside the SDK (libtiff, threads, ...).
  set(_archives "")
  set(_outside "")
  foreach(_lib IN LISTS _sdk_libraries)
    list(APPEND _archives $<TARGET_FILE:${_lib}>)
    get_target_property(_deps ${_lib} INTERFACE_LINK_LIBRARIES)
    foreach(_dep IN LISTS _deps)
      if(_dep AND NOT _dep MATCHES "qox_")
        list(APPEND _outside ${_dep})
      endif()
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES _outside)
  add_dependencies(qoxsdk ${_sdk_libraries})
  target_link_libraries(qoxsdk PRIVATE -Wl,--whole-archive ${_archives} -Wl,--no-whole-archive ${_outside})
  set_property(TARGET qoxsdk APPEND PROPERTY LINK_DEPENDS ${_archives})

  # Every symbol resolved at link time, except in instrumented builds: with
  # clang a sanitizer's runtime (ASan, TSan, the fuzzer's) comes only with the
  # program, so the library leaves its symbols undefined. Instrumentation
  # asked for through the flags counts as well as through QOX_SANITIZE.
  set(_instrumented FALSE)
  if(QOX_SANITIZE OR QOX_BUILD_FUZZ OR "${CMAKE_CXX_FLAGS} ${CMAKE_SHARED_LINKER_FLAGS}" MATCHES "-fsanitize=")
    set(_instrumented TRUE)
  endif()
  if(NOT _instrumented)
    target_link_options(qoxsdk PRIVATE "LINKER:--no-undefined")
  endif()

  set(_build_includes "")
  set(_public_headers "")
  foreach(_lib IN LISTS _sdk_libraries)
    get_target_property(_folder ${_lib} QOX_FOLDER)
    list(APPEND _build_includes ${CMAKE_BINARY_DIR}/include/${_lib})
    qox_public_headers(${_folder} _headers)
    foreach(_header IN LISTS _headers)
      get_filename_component(_dir ${_header} DIRECTORY)
      install(FILES ${CMAKE_SOURCE_DIR}/${_header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qox/${_dir})
    endforeach()
    list(APPEND _public_headers ${_headers})
  endforeach()
  qox_export_map(qoxsdk "${_public_headers}" "${_archives}")
  target_include_directories(qoxsdk INTERFACE "$<BUILD_INTERFACE:${_build_includes}>"
                                               "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/qox>")
  target_compile_features(qoxsdk INTERFACE cxx_std_17)

  install(TARGETS qoxsdk EXPORT QoxSdkTargets
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT Development
          RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(EXPORT QoxSdkTargets NAMESPACE QoxSdk:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/QoxSdk)
  configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/QoxSdkConfig.cmake.in
                                ${CMAKE_BINARY_DIR}/QoxSdkConfig.cmake
                                INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/QoxSdk)
  write_basic_package_version_file(${CMAKE_BINARY_DIR}/QoxSdkConfigVersion.cmake
                                   VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
  install(FILES ${CMAKE_BINARY_DIR}/QoxSdkConfig.cmake ${CMAKE_BINARY_DIR}/QoxSdkConfigVersion.cmake
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/QoxSdk)

  # pkg-config: paths relative to the prefix so the tree can be moved.
  file(RELATIVE_PATH QOX_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
  string(REGEX REPLACE "/$" "" QOX_PC_TO_PREFIX "${QOX_PC_TO_PREFIX}")
  configure_file(${CMAKE_SOURCE_DIR}/cmake/qoxsdk.pc.in ${CMAKE_BINARY_DIR}/qoxsdk.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/qoxsdk.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

  if(TARGET zelt)
    install(TARGETS zelt RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
  if(TARGET qoxzelt)
    install(TARGETS qoxzelt LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/zelt)
  endif()
endfunction()

# Runs once the top directory is read, so libraries and targets added after
# this file is included are packaged too.
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL qox_package)
