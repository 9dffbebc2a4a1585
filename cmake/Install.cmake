# cmake --install: the programs and the image library go together into
# lib/moviloomster/, because the programs load the library from their own
# folder (the real one, symbolic links resolved); bin/ gets links to the
# programs. The desktop entry, the icon and the project file type go to the
# usual share/ folders.
include(GNUInstallDirs)

set(MOVI_PKGLIBDIR ${CMAKE_INSTALL_LIBDIR}/moviloomster)
set(movi_res ${PROJECT_SOURCE_DIR}/app/resources)
# The desktop entry's file name and the software-centre id: the maker's domain
# reversed. The release date goes with PROJECT_VERSION into the metadata.
set(MOVI_APP_ID example.tarvelo.moviloomster)
set(MOVI_RELEASE_DATE 2026-12-08)

if(TARGET pixmill)
  install(TARGETS pixmill LIBRARY DESTINATION ${MOVI_PKGLIBDIR})
endif()

# Path from bin/ to the programs' folder, valid under any prefix.
file(RELATIVE_PATH movi_bin_to_pkg /p/${CMAKE_INSTALL_BINDIR} /p/${MOVI_PKGLIBDIR})
foreach(program moviloomster moviloomster-compile moviloomster-render moviloomster-projinfo)
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
  install(FILES ${movi_res}/${MOVI_APP_ID}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  configure_file(${movi_res}/${MOVI_APP_ID}.metainfo.xml.in
                 ${CMAKE_BINARY_DIR}/${MOVI_APP_ID}.metainfo.xml @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/${MOVI_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
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

# Man pages, compressed as manual readers expect, and the licence in Debian's
# machine-readable form.
set(movi_man_pages)
foreach(program moviloomster moviloomster-compile moviloomster-render moviloomster-projinfo)
  if(TARGET ${program})
    set(page ${PROJECT_SOURCE_DIR}/doc/man/${program}.1)
    set(gz ${CMAKE_BINARY_DIR}/man/${program}.1.gz)
    add_custom_command(OUTPUT ${gz}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND gzip -9nc ${page} > ${gz}
      DEPENDS ${page} VERBATIM)
    list(APPEND movi_man_pages ${gz})
  endif()
endforeach()
if(movi_man_pages)
  add_custom_target(man_pages ALL DEPENDS ${movi_man_pages})
  install(FILES ${movi_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
set(movi_changelog ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${movi_changelog}
  COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog > ${movi_changelog}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog VERBATIM)
add_custom_target(package_changelog ALL DEPENDS ${movi_changelog})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${movi_changelog}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/moviloomster)
