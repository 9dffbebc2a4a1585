# One libFuzzer target per picture reader of the image library, all built from
# the same harness with the reader chosen by a definition.
foreach(format bmp gif jpeg png tiff tga pcx iff)
  movi_fuzz(NAME pixmill_${format}_fuzz
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/pixmill_fuzz.cpp
    LIBS pixmill
    SECONDS 15)
  target_compile_definitions(pixmill_${format}_fuzz PRIVATE PIXMILL_FUZZ_READER=pixmill_read_${format})
endforeach()
