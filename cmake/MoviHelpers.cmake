# Warnings for our own targets; errors in the test build.
function(movi_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(MOVI_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# movi_gtest(NAME name SOURCES a.cpp ... LIBS lib ...)
# A GoogleTest program whose cases are registered with ctest one by one.
function(movi_gtest)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})

  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${T_NAME} PRIVATE
    MOVI_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    MOVI_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
  movi_warnings(${T_NAME})
  include(GoogleTest)
  gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1:abort_on_error=0;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
endfunction()

# movi_fuzz(NAME name SOURCES a.cpp LIBS lib ... [SECONDS n] [MAX_LEN bytes])
# A libFuzzer target, run by ctest for a bounded time over its seed corpus in
# tests/fuzz/corpus/<name>. Any crash, leak, timeout or out-of-memory fails.
# Inputs grow up to MAX_LEN bytes (without it, to the largest seed).
function(movi_fuzz)
  cmake_parse_arguments(F "" "NAME;SECONDS;MAX_LEN" "SOURCES;LIBS" ${ARGN})
  if(NOT F_SECONDS)
    set(F_SECONDS 20)
  endif()
  set(max_len)
  if(F_MAX_LEN)
    set(max_len -max_len=${F_MAX_LEN})
  endif()
  add_executable(${F_NAME} ${F_SOURCES})
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  set(corpus ${PROJECT_SOURCE_DIR}/tests/fuzz/corpus/${F_NAME})
  set(work ${CMAKE_BINARY_DIR}/fuzz-work/${F_NAME})
  file(MAKE_DIRECTORY ${work})
  add_test(NAME ${F_NAME}
    COMMAND ${F_NAME} -max_total_time=${F_SECONDS} -timeout=10 ${max_len} -rss_limit_mb=2048
            -malloc_limit_mb=1024 -print_final_stats=1 -artifact_prefix=${work}/ ${work} ${corpus})
  set_tests_properties(${F_NAME} PROPERTIES TIMEOUT 300
    ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1")
endfunction()

# movi_bench(NAME name SOURCES a.cpp LIBS lib ...): a Google Benchmark program
# (built with the project, run by hand; see README).
function(movi_bench)
  cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(${B_NAME} ${B_SOURCES})
  target_link_libraries(${B_NAME} PRIVATE ${B_LIBS} benchmark::benchmark)
  target_include_directories(${B_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  movi_warnings(${B_NAME})
endfunction()
