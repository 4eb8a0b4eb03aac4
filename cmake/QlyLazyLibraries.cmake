# qly_lazy_libraries(<executable> LIBS <soname>|<soname>=<file>...)
# The executable does not link the named shared libraries; each of their functions that one of
# its static libraries of ours calls becomes a stub (cmake/qly-lazy-stubs.sh) that loads the
# library on the first call (app/lazy/LazyLibraries.cpp). The libraries and what they pull in
# are then not mapped and relocated at start. A library the executable needs for anything but
# calls of its functions (data, or calls from the executable's own sources) stays linked the
# usual way: the executable links with --as-needed, so a library whose every use has a stub is
# left out of its needed list and the others stay in.
set(QLY_LAZY_STUBS_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/qly-lazy-stubs.sh")

function(_qly_lazy_archives target out)
  set(seen ${${out}})
  get_target_property(libs ${target} LINK_LIBRARIES)
  if(NOT libs)
    return()
  endif()
  foreach(lib IN LISTS libs)
    if(lib MATCHES "^\\$<LINK_LIBRARY:[^,]+,([^>]+)>$")
      set(lib "${CMAKE_MATCH_1}")
    endif()
    if(TARGET ${lib} AND NOT lib IN_LIST seen)
      get_target_property(type ${lib} TYPE)
      if(type STREQUAL "STATIC_LIBRARY")
        list(APPEND seen ${lib})
        _qly_lazy_archives(${lib} seen)
      endif()
    endif()
  endforeach()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

function(qly_lazy_libraries target)
  cmake_parse_arguments(L "" "" "LIBS" ${ARGN})
  set(entries)
  foreach(soname IN LISTS L_LIBS)
    # <soname>=<file>: the functions of that file, loaded by that name.
    if(soname MATCHES "=")
      list(APPEND entries "${soname}")
      continue()
    endif()
    string(MAKE_C_IDENTIFIER "QLY_LAZY_${soname}" var)
    find_library(${var} NAMES ${soname} REQUIRED)
    list(APPEND entries "${soname}=${${var}}")
  endforeach()
  set(archives)
  _qly_lazy_archives(${target} archives)
  set(files)
  foreach(a IN LISTS archives)
    list(APPEND files "$<TARGET_FILE:${a}>")
  endforeach()
  set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}_lazy_stubs.S")
  add_custom_command(OUTPUT "${out}"
    COMMAND "${CMAKE_COMMAND}" -E env "READELF=${CMAKE_READELF}"
            sh "${QLY_LAZY_STUBS_SCRIPT}" "${CMAKE_NM}" "${out}" ${entries} -- ${files}
    DEPENDS ${archives} "${QLY_LAZY_STUBS_SCRIPT}"
    COMMENT "Stubs of the libraries ${target} loads on first call"
    VERBATIM)
  target_sources(${target} PRIVATE "${out}")
  target_link_libraries(${target} PRIVATE qly_lazylibs)
  target_link_options(${target} PRIVATE -Wl,--as-needed)
endfunction()
