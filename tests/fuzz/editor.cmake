# Seeds: small projects of every kind, an empty one and one without its repeat
# byte (tests/fuzz/corpus/<target>).
if(TARGET editor_model AND TARGET pixmill)
  movi_fuzz(NAME project_file_fuzz SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/project_file_fuzz.cpp
            LIBS editor_model pixmill SECONDS 20)
endif()
if(TARGET compiler AND TARGET pixmill AND TARGET player)
  movi_fuzz(NAME compile_project_fuzz SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/compile_project_fuzz.cpp
            LIBS compiler player pixmill SECONDS 20)
endif()
