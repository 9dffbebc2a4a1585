# Builds the Debian package from the build tree and checks what apt would see:
# the control fields, and that every file goes under /usr, where the programs,
# the image library, the man pages, the desktop files and the licence belong.
# The desktop entry and the AppStream metadata go through their validators.
# cmake -DBUILD_DIR=... -DOUT=... -DVERSION=... -P package_check.cmake
file(REMOVE_RECURSE ${OUT})
execute_process(COMMAND cpack -G DEB -B ${OUT} WORKING_DIRECTORY ${BUILD_DIR}
                RESULT_VARIABLE rc OUTPUT_VARIABLE log ERROR_VARIABLE log)
set(deb ${OUT}/moviloomster_${VERSION}_amd64.deb)
if(NOT rc EQUAL 0 OR NOT EXISTS ${deb})
  message(FATAL_ERROR "cpack failed (${rc}):\n${log}")
endif()

function(field name expected)
  execute_process(COMMAND dpkg-deb -f ${deb} ${name} OUTPUT_VARIABLE value
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT value MATCHES "${expected}")
    message(FATAL_ERROR "${name}: '${value}' does not match '${expected}'")
  endif()
endfunction()
field(Package "^moviloomster$")
field(Version "^${VERSION}$")
field(Architecture "^amd64$")
field(Section "^graphics$")
field(Maintainer "^.+ <.+@.+>$")
field(Homepage "^https://")
field(Description "^[^\n]+\n .+")
# Computed from the binaries, plus the faces and the toolkit's translations.
foreach(dep fonts-ipafont-gothic fonts-ipafont-mincho qt6-translations-l10n libqt6widgets6
            libfreetype6 libjpeg62-turbo libc6)
  field(Depends "(^|, )${dep}( |,|$)")
endforeach()

execute_process(COMMAND dpkg-deb -c ${deb} OUTPUT_VARIABLE listing)
foreach(f bin/moviloomster bin/moviloomster-compile bin/moviloomster-render
          bin/moviloomster-projinfo lib/moviloomster/moviloomster lib/moviloomster/libpixmill.so
          lib/moviloomster/moviloomster-compile lib/moviloomster/moviloomster-render
          lib/moviloomster/moviloomster-projinfo
          share/man/man1/moviloomster.1.gz share/man/man1/moviloomster-compile.1.gz
          share/man/man1/moviloomster-render.1.gz share/man/man1/moviloomster-projinfo.1.gz
          share/doc/moviloomster/copyright share/doc/moviloomster/changelog.gz
          share/applications/example.tarvelo.moviloomster.desktop
          share/metainfo/example.tarvelo.moviloomster.metainfo.xml
          share/mime/packages/moviloomster.xml share/icons/hicolor/scalable/apps/moviloomster.svg)
  string(REPLACE "." "\\." pattern "${f}")
  if(NOT listing MATCHES " \\./usr/${pattern}( |\n)")
    message(FATAL_ERROR "not in the package: /usr/${f}\n${listing}")
  endif()
endforeach()
string(REGEX MATCHALL " \\./[^ \n]*" paths "${listing}")
foreach(p ${paths})
  if(NOT p MATCHES "^ \\./(usr/.*)?$")
    message(FATAL_ERROR "outside /usr: ${p}")
  endif()
endforeach()

# The validators, on the files as they are packed.
set(root ${OUT}/root)
execute_process(COMMAND dpkg-deb -x ${deb} ${root})
find_program(desktop_validate desktop-file-validate)
if(desktop_validate)
  execute_process(COMMAND ${desktop_validate}
                  ${root}/usr/share/applications/example.tarvelo.moviloomster.desktop
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0 OR out MATCHES "error")
    message(FATAL_ERROR "desktop-file-validate: ${out}")
  endif()
endif()
find_program(appstreamcli appstreamcli)
if(appstreamcli)
  execute_process(COMMAND ${appstreamcli} validate --no-net
                  ${root}/usr/share/metainfo/example.tarvelo.moviloomster.metainfo.xml
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "appstreamcli validate: ${out}")
  endif()
endif()
file(REMOVE_RECURSE ${OUT})
