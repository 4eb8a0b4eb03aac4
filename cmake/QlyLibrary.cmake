# qly_library(<target> [DEPS <our targets...>] [LIBS <other libraries...>])
# One static library of the .cpp/.h files directly in the current folder (sub-folders are
# libraries of their own). DEPS that are not (yet) defined are skipped; a folder without
# sources defines nothing.
function(qly_library name)
  cmake_parse_arguments(L "" "" "DEPS;LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp" "${CMAKE_CURRENT_SOURCE_DIR}/*.h"
                                   "${CMAKE_CURRENT_SOURCE_DIR}/*.qrc")
  if(NOT srcs)
    return()
  endif()
  add_library(${name} STATIC ${srcs})
  target_link_libraries(${name} PUBLIC qly_platform ${L_LIBS})
  foreach(dep IN LISTS L_DEPS)
    if(TARGET ${dep})
      target_link_libraries(${name} PUBLIC ${dep})
    endif()
  endforeach()
endfunction()
