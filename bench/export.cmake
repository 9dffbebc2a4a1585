# WebM export at 550 x 400 on one core against ffmpeg's libvpx-vp9 (used only
# as the referee, through a pipe): speed, file size, agreement with the frames.
# Run on one core: taskset -c 0 build/bench/bin/export_bench
if(TARGET webm_export AND TARGET player AND TARGET compiler)
  movi_bench(NAME export_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/export_bench.cpp LIBS webm_export player bench_support)
  if(TARGET pixmill)
    add_dependencies(export_bench pixmill)
  endif()
endif()
