# Builds every C++ block of the API guide (docs/api.md) against the installed
# SDK, and runs the ones that are whole programs.
#
# The blocks: each fenced block opened by ```cpp is one unit.
# - A block that holds "int main(" is a whole program. It is compiled as it
#   stands (it includes what it uses) with -Wall -Wextra -Werror, linked with
#   the installed libqoxsdk, and run with no arguments. The programs run in
#   the order of the guide, all in one folder that holds a copy of
#   examples/scene/example.qox, so a program may read what the repository's
#   example scene holds or what an earlier program wrote. A program that exits
#   with anything but 0 fails the test; so the programs check what the guide
#   says of their results and return 1 when it does not hold.
# - Any other block is a fragment: declarations (functions, types) that would
#   sit in a program's source file. Each is compiled alone, as it stands, as
#   a translation unit of its own, so it includes every header it uses and
#   says `using namespace qoxsdk_600;` itself, as a reader copying it would
#   need. Each is then linked alone with an empty main and the installed
#   library, so each function it calls must be exported.
#
# Variables: BUILD_DIR, GUIDE, EXAMPLE_SCENE, WORK, CXX, CXX_FLAGS, LINK_FLAGS.

cmake_minimum_required(VERSION 3.16)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _err)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "failed (${_rc}): ${ARGN}\n${_out}\n${_err}")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK})
set(PREFIX ${WORK}/prefix)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX})
file(GLOB _libdir LIST_DIRECTORIES true ${PREFIX}/lib*)
file(GLOB _lib ${PREFIX}/lib*/libqoxsdk.so ${PREFIX}/lib*/*/libqoxsdk.so)
if(NOT _lib)
  message(FATAL_ERROR "libqoxsdk.so not installed under ${PREFIX}")
endif()
get_filename_component(_libdir ${_lib} DIRECTORY)

separate_arguments(_cxx_flags UNIX_COMMAND "${CXX_FLAGS}")
separate_arguments(_link_flags UNIX_COMMAND "${LINK_FLAGS}")
set(_compile ${CXX} -std=c++17 -Wall -Wextra -Werror ${_cxx_flags} -I${PREFIX}/include/qox)
set(_link -L${_libdir} -lqoxsdk -Wl,-rpath,${_libdir} ${_link_flags})

set(_blocks ${WORK}/blocks)
set(_run ${WORK}/run)
file(MAKE_DIRECTORY ${_blocks} ${_run})
file(COPY ${EXAMPLE_SCENE} DESTINATION ${_run})

file(READ ${GUIDE} _rest)
set(_open "```cpp\n")
set(_close "\n```\n")
set(_line 1)
set(_index 0)
set(_programs 0)
set(_fragments "")
set(_fragment_places "")
while(TRUE)
  string(FIND "${_rest}" "${_open}" _start)
  if(_start EQUAL -1)
    break()
  endif()
  # The guide's line of the block's first line of code, for messages.
  string(SUBSTRING "${_rest}" 0 ${_start} _before)
  string(REGEX MATCHALL "\n" _newlines "${_before}")
  list(LENGTH _newlines _count)
  math(EXPR _line "${_line} + ${_count} + 1")
  string(LENGTH "${_open}" _open_length)
  math(EXPR _body_start "${_start} + ${_open_length}")
  string(SUBSTRING "${_rest}" ${_body_start} -1 _rest)
  string(FIND "${_rest}" "${_close}" _end)
  if(_end EQUAL -1)
    message(FATAL_ERROR "${GUIDE}:${_line}: a cpp block without its closing fence")
  endif()
  string(SUBSTRING "${_rest}" 0 ${_end} _code)
  math(EXPR _after "${_end} + 1")
  string(SUBSTRING "${_rest}" ${_after} -1 _rest)
  string(REGEX MATCHALL "\n" _newlines "${_code}\n")
  list(LENGTH _newlines _count)
  set(_where "${GUIDE}:${_line}")
  math(EXPR _line "${_line} + ${_count}")
  math(EXPR _index "${_index} + 1")

  set(_source ${_blocks}/block${_index}.cpp)
  if(_code MATCHES "int main\\(")
    file(WRITE ${_source} "${_code}\n")
    execute_process(COMMAND ${_compile} ${_source} -o ${_blocks}/block${_index} ${_link}
                    RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _err)
    if(NOT _rc EQUAL 0)
      message(FATAL_ERROR "${_where}: the program does not build:\n${_err}")
    endif()
    execute_process(COMMAND ${_blocks}/block${_index} WORKING_DIRECTORY ${_run}
                    RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _err)
    if(NOT _rc EQUAL 0)
      message(FATAL_ERROR "${_where}: the program exits with ${_rc}:\n${_out}\n${_err}")
    endif()
    message(STATUS "${_where}: program ran:\n${_out}")
    math(EXPR _programs "${_programs} + 1")
  else()
    file(WRITE ${_source} "${_code}\n")
    execute_process(COMMAND ${_compile} -c ${_source} -o ${_blocks}/block${_index}.o
                    RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _err)
    if(NOT _rc EQUAL 0)
      message(FATAL_ERROR "${_where}: the fragment does not build alone:\n${_err}")
    endif()
    list(APPEND _fragments ${_blocks}/block${_index}.o)
    list(APPEND _fragment_places "${_where}")
  endif()
endwhile()

if(_programs EQUAL 0 OR NOT _fragments)
  message(FATAL_ERROR "${GUIDE}: expected whole programs and fragments, found ${_programs} programs in ${_index} blocks")
endif()
# Every function a fragment calls is in the installed library: each links
# alone with an empty main (an object named on the command line is linked
# whole, so every reference it makes must be resolved).
file(WRITE ${_blocks}/main.cpp "int main() { return 0; }\n")
execute_process(COMMAND ${_compile} -c ${_blocks}/main.cpp -o ${_blocks}/main.o
                RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _err)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "the empty main does not build:\n${_err}")
endif()
list(LENGTH _fragments _fragment_count)
math(EXPR _last "${_fragment_count} - 1")
foreach(_i RANGE ${_last})
  list(GET _fragments ${_i} _fragment)
  list(GET _fragment_places ${_i} _where)
  execute_process(COMMAND ${_compile} ${_blocks}/main.o ${_fragment} -o ${_fragment}.linked ${_link}
                  RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _err)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "${_where}: the fragment does not link against the installed SDK:\n${_err}")
  endif()
endforeach()
message(STATUS "${GUIDE}: ${_programs} programs built and ran, ${_fragment_count} fragments built and linked alone")
