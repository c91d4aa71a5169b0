# Header-only packages of the build machine, offered to a cross build: the
# headers are the same for every target. They are exposed through a folder
# that holds links to nothing but the package's own headers, because adding
# /usr/include itself would let the build machine's C library headers shadow
# the target's.
#
# brellox_host_headers(PACKAGE TARGET ENTRY...): defines the imported TARGET
# with /usr/include/ENTRY... on its include path and marks PACKAGE found.
macro(brellox_host_headers package target)
  if(NOT TARGET ${target})
    set(_brellox_root "${CMAKE_BINARY_DIR}/host-headers/${package}")
    file(MAKE_DIRECTORY "${_brellox_root}")
    foreach(_brellox_entry IN ITEMS ${ARGN})
      if(NOT EXISTS "/usr/include/${_brellox_entry}")
        set(${package}_FOUND FALSE)
        set(${package}_NOT_FOUND_MESSAGE
            "/usr/include/${_brellox_entry} is missing")
        return()
      endif()
      file(CREATE_LINK "/usr/include/${_brellox_entry}"
           "${_brellox_root}/${_brellox_entry}" SYMBOLIC)
    endforeach()
    add_library(${target} INTERFACE IMPORTED)
    set_target_properties(${target} PROPERTIES
      INTERFACE_INCLUDE_DIRECTORIES "${_brellox_root}")
  endif()
  set(${package}_FOUND TRUE)
endmacro()
