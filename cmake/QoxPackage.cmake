# The SDK as one shared library (qoxsdk) and its installation: headers under
# include/qox/<folder>/, the library, a CMake package (QoxSdk::qoxsdk), a
# pkg-config file, and the zelt runner with the plug-in when they are built.
#
# The shared library is linked from the static libraries the tests use (no
# second compilation). Its export list is a linker version script
# (qoxsdk.map): the public classes and functions are exported, the internal
# helper namespaces and private structures stay local.
# Every library registered through qox_library whose name starts with qox_
# joins it, so a new library needs no change here.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

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
  set(_map ${CMAKE_SOURCE_DIR}/cmake/qoxsdk.map)
  target_link_options(qoxsdk PRIVATE "LINKER:--version-script=${_map}")
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
  set_property(TARGET qoxsdk APPEND PROPERTY LINK_DEPENDS ${_map})

  set(_build_includes "")
  foreach(_lib IN LISTS _sdk_libraries)
    get_target_property(_folder ${_lib} QOX_FOLDER)
    list(APPEND _build_includes ${CMAKE_BINARY_DIR}/include/${_lib})
    # Public headers only; the *_private.h files describe internals.
    install(DIRECTORY ${CMAKE_SOURCE_DIR}/${_folder}/
            DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qox/${_folder}
            FILES_MATCHING PATTERN "*.h" PATTERN "*_private.h" EXCLUDE)
  endforeach()
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
