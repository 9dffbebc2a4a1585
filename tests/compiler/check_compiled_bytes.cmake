# Compiles projects and compares each movie's SHA-256 with the one stored
# here: the movie is written as it is built, frame by frame, and its bytes
# must stay exactly those of the whole-buffer writer it replaced.
#   cmake -DCOMPILER=... -DOUT=folder -DPROJECTS="name=path;..." -P check_compiled_bytes.cmake
set(expected_demo 5c80a721158b7a7ae97d3124affaded930d23eea10070ea8e3f030d80e731951)
set(expected_shapes d91e6d7b72dbc397e1b1f3dd17f9fb1b955e1e718f4d3191780a0f3024a98afb)
set(expected_texts 30962a9dd503b778abb0c3efb2a4c91f4d6562964773a76be286cc60b274eb7c)
set(expected_picture 52d4b5411b01785043cf39b0655ddf0fc3be99e51adb042ad033582d5de84887)

file(MAKE_DIRECTORY ${OUT})
set(failed 0)
foreach(entry ${PROJECTS})
  string(REPLACE "=" ";" parts ${entry})
  list(GET parts 0 name)
  list(GET parts 1 project)
  execute_process(COMMAND ${COMPILER} ${project} -o ${OUT}/${name}.swf --no-html
                  RESULT_VARIABLE code OUTPUT_QUIET)
  if(NOT code EQUAL 0)
    message(SEND_ERROR "${name}: the compiler ended with ${code}")
    set(failed 1)
    continue()
  endif()
  file(SHA256 ${OUT}/${name}.swf hash)
  if(NOT hash STREQUAL expected_${name})
    message(SEND_ERROR "${name}: SHA-256 ${hash}, expected ${expected_${name}}")
    set(failed 1)
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "compiled movies differ from the stored bytes")
endif()
