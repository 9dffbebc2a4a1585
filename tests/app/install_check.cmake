# Installs the build tree into a fresh temporary prefix and checks the
# layout: the programs beside the image library, links in bin/, the desktop
# files; then compiles the demo project through the bin/ link, which only
# works when the installed program finds the installed library.
# cmake -DBUILD_DIR=... -DPREFIX=... -DPROJECT=... [-DWITH_WINDOW=ON] -P install_check.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()

set(expected lib/moviloomster/libpixmill.so lib/moviloomster/moviloomster-compile)
if(WITH_WINDOW)
  list(APPEND expected lib/moviloomster/moviloomster
       share/applications/example.tarvelo.moviloomster.desktop
       share/metainfo/example.tarvelo.moviloomster.metainfo.xml
       share/man/man1/moviloomster.1.gz
       share/icons/hicolor/scalable/apps/moviloomster.svg
       share/icons/hicolor/48x48/apps/moviloomster.png
       share/mime/packages/moviloomster.xml)
endif()
foreach(f ${expected})
  if(NOT EXISTS ${PREFIX}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
set(links bin/moviloomster-compile)
if(WITH_WINDOW)
  list(APPEND links bin/moviloomster)
endif()
foreach(link ${links})
  if(NOT IS_SYMLINK ${PREFIX}/${link})
    message(FATAL_ERROR "not a link: ${link}")
  endif()
endforeach()

file(MAKE_DIRECTORY ${PREFIX}/out)
execute_process(COMMAND ${PREFIX}/bin/moviloomster-compile ${PROJECT} -o ${PREFIX}/out/demo.swf
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT EXISTS ${PREFIX}/out/demo.swf OR NOT EXISTS ${PREFIX}/out/demo.htm)
  message(FATAL_ERROR "the installed moviloomster-compile failed: ${rc}")
endif()
file(REMOVE_RECURSE ${PREFIX})
