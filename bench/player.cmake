# The built-in player at 550 x 400: frames per second on the shipped example
# and on a generated 200-element, 1,800-frame movie, and the jump to the last
# frame. Run on one core: taskset -c 0 build/bench/bin/player_bench
if(TARGET player AND TARGET compiler)
  movi_bench(NAME player_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/player_bench.cpp LIBS player bench_support)
  if(TARGET pixmill)
    add_dependencies(player_bench pixmill)
  endif()
endif()

# The player window's longest stall while it plays movies too costly for its
# frame rate (offscreen).
if(TARGET player_ui AND TARGET compiler)
  movi_bench(NAME player_window_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/player_window_bench.cpp
             LIBS player_ui bench_support)
  if(TARGET pixmill)
    add_dependencies(player_window_bench pixmill)
  endif()
endif()
