# Image library: decoding throughput of our own readers, and SaveDib against a
# direct libjpeg-turbo compression of the same pixels.
find_package(JPEG REQUIRED)
if(NOT TARGET pixmill_test_writers)
  # The test encoders make the inputs; they are built with the tests normally.
  add_library(pixmill_test_writers STATIC ${PROJECT_SOURCE_DIR}/tests/pixmill/image_writers.cpp)
  target_include_directories(pixmill_test_writers PUBLIC ${PROJECT_SOURCE_DIR}/tests/pixmill)
  find_package(PNG REQUIRED)
  find_package(GIF REQUIRED)
  find_package(TIFF REQUIRED)
  target_link_libraries(pixmill_test_writers PUBLIC JPEG::JPEG PNG::PNG GIF::GIF TIFF::TIFF)
endif()
movi_bench(NAME pixmill_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/pixmill_bench.cpp
  LIBS pixmill pixmill_test_writers JPEG::JPEG)
