# movi_browser_scene(NAME name SCENE scene.json
#                    [DIR folder] [PROJECT project.fmo [COMPILER target]]
#                    [EXPECT_EXIT n] [DEPENDS test...] [FIXTURES fixture...])
#
# Registers the ctest test browser_<name>: check.mjs plays the page the scene
# names in headless Chromium with the Ruffle player and checks its probes.
#   DIR       folder with the page and its movie; default: the scene's "dir",
#             else the scene file's folder. With PROJECT the default is
#             <binary dir>/browser-scenes/<name>, emptied before every run.
#   PROJECT   a project file compiled first with COMPILER (default target
#             moviloomster-compile) into DIR; the movie is named after the
#             scene's page: "page": "anim.htm" compiles DIR/anim.swf and the
#             compiler writes DIR/anim.htm beside it.
#   EXPECT_EXIT  exit status the check must end with (default 0).
#   DEPENDS   ctest tests to run first; FIXTURES: fixtures required.
# Screenshots go to <binary dir>/browser-results/<scene name>/. With the
# render command built, browser_<name>_fidelity then compares the built-in
# player's pictures of the same frames with them. Browser tests
# hold the resource lock movi_browser, so only one browser runs at a time,
# and carry the label "browser" (ctest -L browser, or -LE browser to leave
# them out).

include_guard(GLOBAL)

# Cached, so that every folder that includes this file sees it (the include
# guard skips the file the second time).
set(MOVI_BROWSER_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR} CACHE INTERNAL "")
find_program(MOVI_NODE node)
# Where browser_start (tests/browser) leaves the address of the one browser
# that the checks of a ctest run share (browser_server.mjs).
set(MOVI_BROWSER_ENDPOINT ${CMAKE_BINARY_DIR}/browser-server.json CACHE INTERNAL "")

# movi_browser_uses_shared(test...): the tests open their pages in the shared
# browser (fixture movi_browser_server); without it each launches its own.
function(movi_browser_uses_shared)
  foreach(test ${ARGN})
    set_property(TEST ${test} APPEND PROPERTY FIXTURES_REQUIRED movi_browser_server)
    set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT MOVI_BROWSER_ENDPOINT=${MOVI_BROWSER_ENDPOINT})
  endforeach()
endfunction()

function(movi_browser_scene)
  cmake_parse_arguments(S "" "NAME;SCENE;DIR;PROJECT;COMPILER;EXPECT_EXIT" "DEPENDS;FIXTURES" ${ARGN})
  if(NOT S_NAME OR NOT S_SCENE)
    message(FATAL_ERROR "movi_browser_scene needs NAME and SCENE")
  endif()
  get_filename_component(scene "${S_SCENE}" ABSOLUTE)
  set(args -DNODE=${MOVI_NODE} -DCHECK=${MOVI_BROWSER_SOURCE_DIR}/check.mjs -DSCENE=${scene}
           -DRESULTS=${CMAKE_BINARY_DIR}/browser-results)
  if(S_PROJECT)
    if(NOT S_COMPILER)
      set(S_COMPILER moviloomster-compile)
    endif()
    if(NOT TARGET ${S_COMPILER})
      message(FATAL_ERROR "movi_browser_scene(${S_NAME}): no target ${S_COMPILER} to compile ${S_PROJECT}")
    endif()
    if(NOT S_DIR)
      set(S_DIR ${CMAKE_BINARY_DIR}/browser-scenes/${S_NAME})
    endif()
    get_filename_component(project "${S_PROJECT}" ABSOLUTE)
    list(APPEND args -DCOMPILER=$<TARGET_FILE:${S_COMPILER}> -DPROJECT=${project})
  endif()
  if(S_DIR)
    list(APPEND args -DDIR=${S_DIR})
  endif()
  if(DEFINED S_EXPECT_EXIT)
    list(APPEND args -DEXPECT_EXIT=${S_EXPECT_EXIT})
  endif()
  add_test(NAME browser_${S_NAME} COMMAND ${CMAKE_COMMAND} ${args} -P ${MOVI_BROWSER_SOURCE_DIR}/run_scene.cmake)
  set_tests_properties(browser_${S_NAME} PROPERTIES TIMEOUT 300 RESOURCE_LOCK movi_browser LABELS browser)
  if(S_DEPENDS)
    set_tests_properties(browser_${S_NAME} PROPERTIES DEPENDS "${S_DEPENDS}")
  endif()
  if(S_FIXTURES)
    set_tests_properties(browser_${S_NAME} PROPERTIES FIXTURES_REQUIRED "${S_FIXTURES}")
  endif()
  movi_browser_uses_shared(browser_${S_NAME})
  # A scene that judges another's screenshots ("shotsOf") runs after it.
  file(READ "${scene}" scene_text)
  string(JSON shots_of ERROR_VARIABLE no_shots_of GET "${scene_text}" shotsOf)
  if(NOT no_shots_of)
    set_property(TEST browser_${S_NAME} APPEND PROPERTY FIXTURES_REQUIRED browser_shots_${shots_of})
  endif()
  set_tests_properties(browser_${S_NAME} PROPERTIES FIXTURES_SETUP browser_shots_${S_NAME})
  # browser_<name>_fidelity: the built-in player draws the photographed frames
  # and must match the screenshots (compare_render.mjs); it reuses the shots of
  # browser_<name>, which runs first.
  if(TARGET moviloomster-render AND MOVI_NODE)
    set(fidelity_args ${MOVI_BROWSER_SOURCE_DIR}/compare_render.mjs ${scene}
        --results ${CMAKE_BINARY_DIR}/browser-results --render $<TARGET_FILE:moviloomster-render>)
    if(S_DIR)
      list(APPEND fidelity_args --dir ${S_DIR})
    endif()
    add_test(NAME browser_${S_NAME}_fidelity COMMAND ${MOVI_NODE} ${fidelity_args})
    set_tests_properties(browser_${S_NAME}_fidelity PROPERTIES
      FIXTURES_REQUIRED browser_shots_${S_NAME} LABELS browser TIMEOUT 120)
  endif()
endfunction()

# movi_svg_scene(NAME name SCENE scene.json PROJECT project.fmo [FIXTURES fixture...])
#
# Registers the ctest test svg_<name>: the project is compiled into a movie
# and into an animated SVG (<binary dir>/svg-scenes/<name>/), and
# check_svg.mjs compares the SVG, opened from disk in headless Chromium and
# paused in the middle of each frame the scene checks, with the render
# command's picture of that frame, within the tolerance the scene's "svg"
# block states. Screenshots go to <binary dir>/browser-results/<scene name>-svg/.
function(movi_svg_scene)
  cmake_parse_arguments(S "" "NAME;SCENE;PROJECT" "FIXTURES" ${ARGN})
  if(NOT TARGET moviloomster-render OR NOT TARGET moviloomster-compile)
    return()
  endif()
  get_filename_component(scene "${S_SCENE}" ABSOLUTE)
  get_filename_component(project "${S_PROJECT}" ABSOLUTE)
  add_test(NAME svg_${S_NAME}
    COMMAND ${CMAKE_COMMAND} -DNODE=${MOVI_NODE} -DCHECK=${MOVI_BROWSER_SOURCE_DIR}/check_svg.mjs
            -DSCENE=${scene} -DRESULTS=${CMAKE_BINARY_DIR}/browser-results
            -DDIR=${CMAKE_BINARY_DIR}/svg-scenes/${S_NAME} -DPROJECT=${project}
            -DCOMPILER=$<TARGET_FILE:moviloomster-compile> -DRENDER=$<TARGET_FILE:moviloomster-render>
            -P ${MOVI_BROWSER_SOURCE_DIR}/run_svg_scene.cmake)
  set_tests_properties(svg_${S_NAME} PROPERTIES TIMEOUT 120 RESOURCE_LOCK movi_browser LABELS browser)
  if(S_FIXTURES)
    set_tests_properties(svg_${S_NAME} PROPERTIES FIXTURES_REQUIRED "${S_FIXTURES}")
  endif()
  movi_browser_uses_shared(svg_${S_NAME})
endfunction()
