# cmake --install: the programs and the image library go together into
# lib/moviloomster/, because the programs load the library from their own
# folder (the real one, symbolic links resolved); bin/ gets links to the
# programs. The desktop entry, the icon and the project file type go to the
# usual share/ folders.
include(GNUInstallDirs)

set(MOVI_PKGLIBDIR ${CMAKE_INSTALL_LIBDIR}/moviloomster)
set(movi_res ${PROJECT_SOURCE_DIR}/app/resources)

if(TARGET pixmill)
  install(TARGETS pixmill LIBRARY DESTINATION ${MOVI_PKGLIBDIR})
endif()

# Path from bin/ to the programs' folder, valid under any prefix.
file(RELATIVE_PATH movi_bin_to_pkg /p/${CMAKE_INSTALL_BINDIR} /p/${MOVI_PKGLIBDIR})
foreach(program moviloomster moviloomster-compile moviloomster-render)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${MOVI_PKGLIBDIR})
    install(CODE "
      set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\")
      file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
      file(REMOVE \"\${link}\")
      message(STATUS \"Installing: \${link} -> ${movi_bin_to_pkg}/${program}\")
      file(CREATE_LINK \"${movi_bin_to_pkg}/${program}\" \"\${link}\" SYMBOLIC)")
  endif()
endforeach()

if(TARGET moviloomster)
  install(FILES ${movi_res}/moviloomster.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${movi_res}/moviloomster.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size 16 32 48 64 128 256)
    install(FILES ${movi_res}/moviloomster-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME moviloomster.png)
  endforeach()
  install(FILES ${movi_res}/moviloomster-mime.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
          RENAME moviloomster.xml)
endif()
