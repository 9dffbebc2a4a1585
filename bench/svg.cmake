# The animated SVG against the movie: sizes and CPU times on the shipped
# example and on a generated 200-element, 1,800-frame movie.
if(TARGET svg_movie)
  movi_bench(NAME svg_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/svg_bench.cpp LIBS svg_movie bench_support)
  if(TARGET pixmill)
    add_dependencies(svg_bench pixmill)
  endif()
endif()
