# Compiling a large generated project: wall time, phases, output size, memory,
# and the picture export against a direct libjpeg-turbo compression.
find_package(JPEG REQUIRED)
movi_bench(NAME compiler_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/compiler_bench.cpp LIBS bench_support JPEG::JPEG)
if(TARGET pixmill)
  add_dependencies(compiler_bench pixmill)
endif()
