# Run with cmake -P. With the include paths of one library, a header of a lower
# folder must compile and a header of a higher folder must not be found.
file(MAKE_DIRECTORY ${WORK})
set(_flags "")
foreach(_dir ${INCLUDES})
  list(APPEND _flags "-I${_dir}")
endforeach()

function(try_header header out_result out_log)
  file(WRITE ${WORK}/probe.cpp "#include \"${header}\"\nint main() { return 0; }\n")
  execute_process(COMMAND ${CXX} -std=c++17 -fsyntax-only ${_flags} ${WORK}/probe.cpp
                  RESULT_VARIABLE _rc ERROR_VARIABLE _err OUTPUT_QUIET)
  set(${out_result} ${_rc} PARENT_SCOPE)
  set(${out_log} "${_err}" PARENT_SCOPE)
endfunction()

try_header("base/kstring.h" _rc _err)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "a lower folder's header does not compile:\n${_err}")
endif()

try_header("fcurve/kfcurve.h" _rc _err)
if(_rc EQUAL 0)
  message(FATAL_ERROR "an upward include compiled: fcurve/kfcurve.h is visible to object/")
endif()
# GCC says "No such file or directory", clang "'...' file not found".
if(NOT _err MATCHES "No such file|file not found")
  message(FATAL_ERROR "an upward include failed for another reason:\n${_err}")
endif()
message(STATUS "upward include refused as expected")
