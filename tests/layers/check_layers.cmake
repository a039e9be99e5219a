# The direction of the layers, read from the includes:
#   cmake -DROOT=<source tree> -P check_layers.cmake
# Every header of ours that a file in src/, tools/, tests/, bench/ or fuzz/
# includes must lie in the file's own folder or in one that the table below
# lets that folder use. Each include that points the wrong way is printed as
# FILE:LINE, and the check fails; so does a folder the table does not name.
cmake_minimum_required(VERSION 3.25)

# The allowed edges, the one place they are stated: layer(FOLDER USES...).
set(layer_folders "")
macro(layer folder)
  list(APPEND layer_folders ${folder})
  set(may_use_${folder} ${ARGN})
endmacro()

# os owns the system's resources; link (the serial line) and image (the
# files) stand on it side by side and never include each other; app, the
# program without a toolkit, uses both; a window's folder sits on app.
layer(src/os)
layer(src/link          src/os)
layer(src/image         src/os)
# backup (the backups and the history of qlr5500) stands on image, never on link.
layer(src/backup        src/os src/image)
# change (qlr5500's use cases that change the EEPROM) joins the link to the backups.
layer(src/change        src/os src/link src/image src/backup)
layer(src/app           src/os src/link src/image)
layer(src/dialog_wx     src/os src/link src/image src/app)
layer(src/dialog_win32  src/os src/link src/image src/app)
# The tools are on top; the emulator, playing the receiver, shares nothing
# with the programs it tests but os.
layer(tools/emulator    src/os)
layer(tools/cli         src/os src/link src/image src/backup src/change)
layer(bench             src/os src/link src/image src/backup src/change tools/emulator)
layer(fuzz              src/os src/link src/image)
# A suite uses what it tests and what that stands on, the shared support and
# the emulator; the support itself, shared by all, stays below app.
layer(tests/support     src/os src/link src/image tools/emulator)
layer(tests/os          src/os tests/support)
layer(tests/link        src/os src/link src/image tools/emulator tests/support)
layer(tests/image       src/os src/image tests/support)
layer(tests/backup      src/os src/image src/backup tests/support)
layer(tests/app         src/os src/link src/image src/app tools/emulator tests/support)
layer(tests/dialog_wx   src/os src/link src/image src/app src/dialog_wx tools/emulator tests/support)
layer(tests/dialog_win32 src/os src/link src/image src/app src/dialog_win32)
layer(tests/emulator    src/os tools/emulator tests/support)
layer(tests/change      src/os src/link src/image src/backup src/change tools/emulator tests/support)
layer(tests/cli         src/os src/link src/image src/backup src/change tools/cli tools/emulator tests/support)
layer(tests/hardening   src/os src/link src/image src/app tools/emulator tests/support)
layer(tests/windows     src/os src/link src/image)

# Where "module/header.h" is looked for, as the targets' include roots do.
set(include_roots src tools tests bench)

if(NOT DEFINED ROOT)
  message(FATAL_ERROR "usage: cmake -DROOT=<source tree> -P check_layers.cmake")
endif()

# The folder of the table that `path` (relative to ROOT) belongs to.
function(layer_of path out)
  if(path MATCHES "^(src|tools|tests)/([^/]+)/")
    set(${out} "${CMAKE_MATCH_1}/${CMAKE_MATCH_2}" PARENT_SCOPE)
  elseif(path MATCHES "^([^/]+)/")
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

# The header an include names, relative to ROOT, as the compiler finds it:
# a quoted name beside the including file first, then under each include
# root. Empty for a header not of ours (<vector>, <wx/app.h>); a list of
# two or more when the roots offer several.
function(resolve_include file name quoted out)
  if(quoted)
    get_filename_component(directory "${file}" DIRECTORY)
    cmake_path(SET beside NORMALIZE "${directory}/${name}")
    if(NOT beside MATCHES "^\\.\\./" AND EXISTS "${ROOT}/${beside}" AND NOT IS_DIRECTORY "${ROOT}/${beside}")
      set(${out} "${beside}" PARENT_SCOPE)
      return()
    endif()
  endif()
  set(found "")
  foreach(root IN LISTS include_roots)
    cmake_path(SET candidate NORMALIZE "${root}/${name}")
    if(EXISTS "${ROOT}/${candidate}" AND NOT IS_DIRECTORY "${ROOT}/${candidate}")
      list(APPEND found "${candidate}")
    endif()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE files RELATIVE "${ROOT}" LIST_DIRECTORIES false
  "${ROOT}/src/*.h" "${ROOT}/src/*.cpp" "${ROOT}/src/*.rc"
  "${ROOT}/tools/*.h" "${ROOT}/tools/*.cpp"
  "${ROOT}/tests/*.h" "${ROOT}/tests/*.cpp"
  "${ROOT}/bench/*.h" "${ROOT}/bench/*.cpp"
  "${ROOT}/fuzz/*.h" "${ROOT}/fuzz/*.cpp")
list(SORT files)

set(problems "")
set(include_count 0)
set(unnamed_folders "")
foreach(file IN LISTS files)
  layer_of("${file}" folder)
  if(NOT folder IN_LIST layer_folders)
    if(NOT folder IN_LIST unnamed_folders)
      list(APPEND unnamed_folders "${folder}")
      list(APPEND problems "${file}: its folder ${folder} has no line in the layer table (${CMAKE_CURRENT_LIST_FILE})")
    endif()
    continue()
  endif()

  file(STRINGS "${ROOT}/${file}" include_lines REGEX "^[ \t]*#[ \t]*include")
  if(NOT include_lines)
    continue()
  endif()
  # Line numbers: each include line is found after the one before it.
  file(READ "${ROOT}/${file}" content)
  set(rest "\n${content}\n")
  set(lines_before 0)
  foreach(include_line IN LISTS include_lines)
    string(FIND "${rest}" "\n${include_line}\n" at)
    set(line "?")
    if(at GREATER_EQUAL 0)
      math(EXPR through "${at} + 1")
      string(SUBSTRING "${rest}" 0 ${through} before)
      string(REGEX MATCHALL "\n" breaks "${before}")
      list(LENGTH breaks count)
      math(EXPR line "${lines_before} + ${count}")
      string(SUBSTRING "${rest}" ${through} -1 rest)
      set(lines_before ${line})
    endif()

    if(NOT include_line MATCHES "^[ \t]*#[ \t]*include[ \t]*([<\"])([^>\"]+)[>\"]")
      continue()
    endif()
    set(name "${CMAKE_MATCH_2}")
    set(quoted OFF)
    if(CMAKE_MATCH_1 STREQUAL "\"")
      set(quoted ON)
    endif()
    resolve_include("${file}" "${name}" ${quoted} header)
    list(LENGTH header candidates)
    if(candidates EQUAL 0)
      continue()
    endif()
    math(EXPR include_count "${include_count} + 1")
    if(candidates GREATER 1)
      string(REPLACE ";" " or " choices "${header}")
      list(APPEND problems "${file}:${line}: \"${name}\" could be ${choices}: which one depends on the include order")
      continue()
    endif()
    layer_of("${header}" used)
    if(used STREQUAL folder OR used IN_LIST may_use_${folder})
      continue()
    endif()
    set(allowed "${may_use_${folder}}")
    if(allowed)
      string(REPLACE ";" " " allowed "${allowed}")
    else()
      set(allowed "nothing beyond itself")
    endif()
    list(APPEND problems "${file}:${line}: \"${name}\" is in ${used}, which ${folder} may not include (it may use: ${allowed})")
  endforeach()
endforeach()

list(LENGTH files file_count)
if(problems)
  foreach(problem IN LISTS problems)
    message(NOTICE "${problem}")
  endforeach()
  list(LENGTH problems problem_count)
  message(FATAL_ERROR "${problem_count} include(s) or folder(s) against the layers; the allowed edges are the table "
                      "at the top of ${CMAKE_CURRENT_LIST_FILE}")
endif()
message(STATUS "${include_count} includes of our headers in ${file_count} files, all in the layers' direction")
