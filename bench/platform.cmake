movi_bench(NAME platform_bench SOURCES ${PROJECT_SOURCE_DIR}/bench/platform_bench.cpp LIBS platform)
