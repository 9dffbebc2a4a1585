# Runs the SVG check of one compiled scene for ctest: cmake -P run_svg_scene.cmake with
#   NODE      node program
#   CHECK     check_svg.mjs
#   SCENE     scene file (with its "svg" block)
#   RESULTS   folder for the screenshots
#   DIR       folder for the movie and the picture, emptied first
#   COMPILER  compile command, PROJECT the project it compiles
#   RENDER    the render command that draws the movie's frames
# The project is compiled twice, into DIR/<page's name>.swf and .svg; then
# check_svg.mjs compares the picture's frames with the movie's.

if(NOT NODE OR NOT EXISTS "${NODE}")
  message(FATAL_ERROR "node is not installed (looked for it when configuring): "
                      "install Node.js 20 or later, then run scripts/install-npm.sh")
endif()
file(READ "${SCENE}" scene_text)
string(JSON page ERROR_VARIABLE json_error GET "${scene_text}" page)
if(json_error)
  message(FATAL_ERROR "${SCENE}: ${json_error}")
endif()
get_filename_component(stem "${page}" NAME_WE)
file(REMOVE_RECURSE "${DIR}")
file(MAKE_DIRECTORY "${DIR}")
foreach(ext swf svg)
  execute_process(COMMAND "${COMPILER}" "${PROJECT}" -o "${DIR}/${stem}.${ext}" --no-html
                  RESULT_VARIABLE compiled)
  if(NOT compiled EQUAL 0)
    message(FATAL_ERROR "compiling ${PROJECT} into ${DIR}/${stem}.${ext} failed (${compiled})")
  endif()
endforeach()
execute_process(COMMAND "${NODE}" "${CHECK}" "${SCENE}" --svg "${DIR}/${stem}.svg"
                        --movie "${DIR}/${stem}.swf" --render "${RENDER}" --results "${RESULTS}"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "SVG check of ${SCENE} failed (exit ${status})")
endif()
