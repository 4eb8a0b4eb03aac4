# cmake --install: the program with its web-engine module and help file in a folder of their own
# (the program finds both beside itself), a link to it in bin/, the menu entry and the icon
# under the XDG paths.
include(GNUInstallDirs)
set(QLY_INSTALL_PROGRAM_DIR "${CMAKE_INSTALL_LIBDIR}/quillory")

if(TARGET quillory)
  install(TARGETS quillory RUNTIME DESTINATION "${QLY_INSTALL_PROGRAM_DIR}")
  file(RELATIVE_PATH qly_link_target "/root/${CMAKE_INSTALL_BINDIR}" "/root/${QLY_INSTALL_PROGRAM_DIR}/quillory")
  install(CODE "
    set(bindir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(MAKE_DIRECTORY \"\${bindir}\")
    file(REMOVE \"\${bindir}/quillory\")
    file(CREATE_LINK \"${qly_link_target}\" \"\${bindir}/quillory\" SYMBOLIC)
    message(STATUS \"Installing: \${bindir}/quillory -> ${qly_link_target}\")")
endif()
if(TARGET qly_webengine)
  install(TARGETS qly_webengine LIBRARY DESTINATION "${QLY_INSTALL_PROGRAM_DIR}")
endif()
if(TARGET quillory_help)
  install(FILES "${QLY_HELP_FILE}" DESTINATION "${QLY_INSTALL_PROGRAM_DIR}")
endif()

install(FILES "${CMAKE_SOURCE_DIR}/share/quillory.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES "${CMAKE_SOURCE_DIR}/share/icons/quillory.svg" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")
foreach(size 16 24 32 48 64 128 256)
  install(FILES "${CMAKE_SOURCE_DIR}/share/icons/quillory-${size}.png"
          DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps" RENAME quillory.png)
endforeach()
