if(TARGET uninstall_core)
  movi_fuzz(NAME uninstall_log_fuzz SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/uninstall_log_fuzz.cpp
            LIBS uninstall_core SECONDS 20)
endif()
