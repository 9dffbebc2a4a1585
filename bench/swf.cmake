# SWF writer: bit writer throughput, a movie of a million small tags, and a
# large JPEG spliced in without a copy.
movi_bench(NAME swf_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/swf_bench.cpp LIBS swf)
