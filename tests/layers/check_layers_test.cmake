# The layer check itself, on a small tree written into WORK: a tree in the
# layers' direction passes; then every include that points the wrong way,
# and only those, is named with its file and line.
#   cmake -DCHECK=<check_layers.cmake> -DWORK=<scratch folder> -P check_layers_test.cmake
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${WORK}")

# Runs the check on WORK; sets `status` and `places` (the FILE:LINE of each
# finding, sorted) in the caller.
function(run_check)
  execute_process(COMMAND "${CMAKE_COMMAND}" -DROOT=${WORK} -P "${CHECK}"
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(REGEX MATCHALL "(^|\n)[a-z][^ \n]*: " found "${err}")
  list(TRANSFORM found REPLACE "^\n?(.*): $" "\\1")
  list(SORT found)
  set(status "${result}" PARENT_SCOPE)
  set(places "${found}" PARENT_SCOPE)
  set(output "${out}${err}" PARENT_SCOPE)
endfunction()

function(expect what actual wanted)
  if(NOT "${actual}" STREQUAL "${wanted}")
    message(FATAL_ERROR "${what}: got \"${actual}\", expected \"${wanted}\"\n${output}")
  endif()
endfunction()

# In the layers' direction: down the table, beside the file, and headers not of ours.
file(WRITE "${WORK}/src/os/owner.h" "#pragma once\n")
file(WRITE "${WORK}/src/link/line.h" "#pragma once\n#include \"os/owner.h\"\n")
file(WRITE "${WORK}/src/app/detail.h" "#pragma once\n")
file(WRITE "${WORK}/src/app/app.h" "#include <vector>\n#include \"detail.h\"\n#include \"link/line.h\"\n")
file(WRITE "${WORK}/tools/cli/cli.h" "#include \"link/line.h\"\n")
run_check()
expect("a tree in the layers' direction" "${status}" 0)

# Against them, each in another form: upwards after lines that a CMake list
# would split (";", "["), and a commented-out include before it; sideways
# through "../"; the emulator reaching a layer other than os with <>; a
# folder the table does not name; a name two include roots could give.
file(WRITE "${WORK}/src/link/reaches_up.cpp"
     "// a; b [c\n#include <string>\n// #include \"app/app.h\"\n  #  include \"app/app.h\"\n#include \"link/line.h\"\n")
file(WRITE "${WORK}/src/image/sideways.cpp" "#include \"../link/line.h\"\n")
file(WRITE "${WORK}/tools/emulator/emulator.cpp" "#include <os/owner.h>\n\n#include <link/line.h>\n")
file(WRITE "${WORK}/src/gadget/gadget.cpp" "int x;\n")
file(WRITE "${WORK}/tests/cli/cli.h" "#pragma once\n")
file(WRITE "${WORK}/tests/cli/cli_test.cpp" "#include \"cli/cli.h\"\n")
run_check()
expect("a tree against the layers, exit status" "${status}" 1)
expect("a tree against the layers, findings" "${places}"
       "src/gadget/gadget.cpp;src/image/sideways.cpp:1;src/link/reaches_up.cpp:4;tests/cli/cli_test.cpp:1;tools/emulator/emulator.cpp:3")
message(STATUS "the layer check passes a sound tree and names each wrong include")
