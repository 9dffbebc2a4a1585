# Export into GIF, WebP, APNG and WebM against ffmpeg (used only as the
# referee, through a pipe): time, file size, agreement with the renderer's
# frames, peak memory. Run on one core: taskset -c 0 build/bench/bin/export_bench
if(TARGET movie_export AND TARGET webm_export AND TARGET bench_support)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(BENCH_WEBPDEMUX REQUIRED IMPORTED_TARGET libwebpdemux)
  movi_bench(NAME export_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/export_bench.cpp
    LIBS movie_export webm_export bench_support PkgConfig::BENCH_WEBPDEMUX)
  if(TARGET pixmill)
    add_dependencies(export_bench pixmill)
  endif()
endif()
