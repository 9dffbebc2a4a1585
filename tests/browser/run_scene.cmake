# Runs one browser scene for ctest: cmake -P run_scene.cmake with
#   NODE      node program (may be empty or NOTFOUND: the test then fails clearly)
#   CHECK     check.mjs
#   SCENE     scene file
#   RESULTS   folder for the screenshots
#   DIR       folder with the page and the movie (optional)
#   COMPILER  compile command, PROJECT project file (optional, together): the
#             project is compiled into DIR first, the movie named after the
#             scene's page (page "anim.htm" -> DIR/anim.swf and DIR/anim.htm)
#   EXPECT_EXIT  the exit status check.mjs must end with (default 0; the
#             negative self-check asks for 1, probes failed)

if(NOT NODE OR NOT EXISTS "${NODE}")
  message(FATAL_ERROR "node is not installed (looked for it when configuring): "
                      "install Node.js 20 or later, then run scripts/install-npm.sh")
endif()
if(NOT DEFINED EXPECT_EXIT)
  set(EXPECT_EXIT 0)
endif()

if(PROJECT)
  if(NOT DIR)
    message(FATAL_ERROR "a compiled scene needs DIR")
  endif()
  file(READ "${SCENE}" scene_text)
  string(JSON page ERROR_VARIABLE json_error GET "${scene_text}" page)
  if(json_error)
    message(FATAL_ERROR "${SCENE}: ${json_error}")
  endif()
  get_filename_component(stem "${page}" NAME_WE)
  file(REMOVE_RECURSE "${DIR}")
  file(MAKE_DIRECTORY "${DIR}")
  execute_process(COMMAND "${COMPILER}" "${PROJECT}" -o "${DIR}/${stem}.swf" RESULT_VARIABLE compiled)
  if(NOT compiled EQUAL 0)
    message(FATAL_ERROR "compiling ${PROJECT} into ${DIR}/${stem}.swf failed (${compiled})")
  endif()
endif()

set(args "${CHECK}" "${SCENE}" --results "${RESULTS}")
if(DIR)
  list(APPEND args --dir "${DIR}")
endif()
execute_process(COMMAND "${NODE}" ${args} RESULT_VARIABLE status)
if(NOT status STREQUAL "${EXPECT_EXIT}")
  if(EXPECT_EXIT EQUAL 0)
    message(FATAL_ERROR "browser check of ${SCENE} failed (exit ${status})")
  else()
    message(FATAL_ERROR "browser check of ${SCENE} ended with ${status}, expected ${EXPECT_EXIT}")
  endif()
endif()
