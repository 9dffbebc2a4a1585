# Project file: LoadProject and SaveProject of a large picture-heavy project
# against a plain read and write of the same bytes.
movi_bench(NAME editor_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/editor_bench.cpp LIBS editor_model)
if(TARGET pixmill)
  add_dependencies(editor_bench pixmill)
endif()
