# Project file: LoadProject and SaveProject of a large picture-heavy project
# against a plain read and write of the same bytes.
movi_bench(NAME editor_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/editor_bench.cpp LIBS bench_support)
if(TARGET pixmill)
  add_dependencies(editor_bench pixmill)
endif()

# Recovery copy of a 100 MB project: how long the window's thread is held.
movi_bench(NAME recovery_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/recovery_bench.cpp LIBS editor_recovery bench_support)
if(TARGET pixmill)
  add_dependencies(recovery_bench pixmill)
endif()

# Stage view: a repaint of a busy stage, one large turned picture.
if(TARGET editor_stage)
  movi_bench(NAME stage_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/stage_bench.cpp LIBS editor_stage)
  if(TARGET pixmill)
    add_dependencies(stage_bench pixmill)
  endif()
endif()

# The stage's time slider on the example: first compilation, then a new frame
# per slider step. Run on one core: taskset -c 0 build/bench/bin/preview_bench
if(TARGET editor_stage)
  movi_bench(NAME preview_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/preview_bench.cpp LIBS editor_stage bench_support)
  if(TARGET pixmill)
    add_dependencies(preview_bench pixmill)
  endif()
endif()

# The main window: opening a 1,000-element project and rebuilding its list.
if(TARGET editor_ui)
  movi_bench(NAME editor_ui_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/editor_ui_bench.cpp LIBS editor_ui bench_support)
  if(TARGET pixmill)
    add_dependencies(editor_ui_bench pixmill)
  endif()
endif()

# Undo and redo of a stage drag on a 1,000-element project, repaint included.
if(TARGET editor_ui)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  movi_bench(NAME undo_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/undo_bench.cpp LIBS editor_ui bench_support Qt6::Test)
  if(TARGET pixmill)
    add_dependencies(undo_bench pixmill)
  endif()
endif()
