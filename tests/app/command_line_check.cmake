# Every program answers --help with its usage on stdout and --version with its
# name and the project's version, both with exit 0, and refuses an unknown
# option with exit 3 and the usage on stderr (the uninstaller takes any
# argument as its folder, so it is asked for --help and --version only).
# cmake -DBIN=... -DVERSION=... -DPROGRAMS=a;b -P command_line_check.cmake
foreach(program ${PROGRAMS})
  execute_process(COMMAND ${BIN}/${program} --help RESULT_VARIABLE rc
                  OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "^usage: ${program} " OR NOT out MATCHES "--version"
     OR NOT err STREQUAL "")
    message(FATAL_ERROR "${program} --help: exit ${rc}, stdout '${out}', stderr '${err}'")
  endif()
  execute_process(COMMAND ${BIN}/${program} --version RESULT_VARIABLE rc
                  OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT out STREQUAL "${program} ${VERSION}\n")
    message(FATAL_ERROR "${program} --version: exit ${rc}, stdout '${out}'")
  endif()
  if(program STREQUAL "uninstall")
    continue()
  endif()
  execute_process(COMMAND ${BIN}/${program} --no-such-option RESULT_VARIABLE rc
                  OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 3 OR NOT err MATCHES "usage: ${program} ")
    message(FATAL_ERROR "${program} --no-such-option: exit ${rc}, stderr '${err}'")
  endif()
endforeach()
