# The player's movie reader and renderer. Seeds: small movies of every tag
# kind it draws, and costly ones (dense outlines, shrunk and colour-changed
# picture fills, many pictures) that tests/player's player_make_seeds writes
# (tests/fuzz/corpus/player_movie_fuzz). Inputs may grow to 64 KB, past the
# largest seed.
if(TARGET player)
  movi_fuzz(NAME player_movie_fuzz SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/player_movie_fuzz.cpp
            LIBS player SECONDS 20 MAX_LEN 65536)
endif()

# The embedding page reader. Seeds: a saved page and one with every form it reads.
if(TARGET player_page)
  movi_fuzz(NAME player_page_fuzz SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/player_page_fuzz.cpp
            LIBS player_page SECONDS 10)
endif()
