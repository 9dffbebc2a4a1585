if(TARGET editor_model AND TARGET pixmill)
  movi_fuzz(NAME project_file_fuzz SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/project_file_fuzz.cpp
            LIBS editor_model pixmill SECONDS 20)
endif()
# Seeds: small projects of every kind (tests/fuzz/corpus/project_file_fuzz), an
# empty one and one without its repeat byte.
