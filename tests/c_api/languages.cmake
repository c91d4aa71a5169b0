# The C# and Go examples of doc/c_interface.md, taken from the page as they
# stand, built with Debian's Mono and Go and run against the built library
# on a copy of a new configuration file: each must add a user, accept its
# password and list it.
#
# -D variables: DOC, INCLUDE_DIR, LIBRARY_DIR, PRISTINE, SCRATCH, MCS, MONO,
# GO.
file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${SCRATCH}")
file(READ "${DOC}" page)

# The text of the page's one fenced block in `language`.
function(example language out)
  string(FIND "${page}" "```${language}\n" start)
  if(start LESS 0)
    message(FATAL_ERROR "${DOC} has no ${language} example")
  endif()
  string(LENGTH "```${language}\n" skip)
  math(EXPR start "${start} + ${skip}")
  string(SUBSTRING "${page}" ${start} -1 rest)
  string(FIND "${rest}" "\n```" end)
  math(EXPR end "${end} + 1")
  string(SUBSTRING "${rest}" 0 ${end} code)
  set(${out} "${code}" PARENT_SCOPE)
endfunction()

include(${CMAKE_CURRENT_LIST_DIR}/../run_or_fail.cmake)

function(expect_output language output)
  if(NOT output STREQUAL "password accepted\nuser 1\n")
    message(FATAL_ERROR "the ${language} example printed:\n${output}")
  endif()
endfunction()

set(ENV{LD_LIBRARY_PATH} "${LIBRARY_DIR}")

example(csharp csharp)
file(WRITE "${SCRATCH}/example.cs" "${csharp}")
file(COPY_FILE "${PRISTINE}" "${SCRATCH}/cs.CFG")
run("${MCS}" -out:${SCRATCH}/example.exe "${SCRATCH}/example.cs")
run("${MONO}" "${SCRATCH}/example.exe" "${SCRATCH}/cs.CFG")
expect_output("C#" "${run_output}")

example(go go)
file(WRITE "${SCRATCH}/go/example.go" "${go}")
file(COPY_FILE "${PRISTINE}" "${SCRATCH}/go.CFG")
set(ENV{GOCACHE} "${SCRATCH}/go-cache")
set(ENV{GOPATH} "${SCRATCH}/go-path")
set(ENV{GO111MODULE} "off")
set(ENV{CGO_CFLAGS} "-I${INCLUDE_DIR}")
set(ENV{CGO_LDFLAGS} "-L${LIBRARY_DIR}")
run("${GO}" build -o "${SCRATCH}/go/example" "${SCRATCH}/go/example.go")
run("${SCRATCH}/go/example" "${SCRATCH}/go.CFG")
expect_output(Go "${run_output}")
