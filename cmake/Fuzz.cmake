# libFuzzer targets, built with clang++ beside the g++ build, each run briefly as a test.
# pz_add_fuzzer(NAME name SOURCES a.cpp ... CORPUS dir [SECONDS n] [LIBS -lx ...]); SOURCES are paths
# from the top of the repository.
find_program(PZ_CLANGXX NAMES clang++ clang++-14)
set(PZ_FUZZ_SECONDS 10 CACHE STRING "How long each fuzzer runs in the test suite")

function(pz_add_fuzzer)
  cmake_parse_arguments(F "" "NAME;CORPUS;SECONDS" "SOURCES;LIBS" ${ARGN})
  if(NOT PZ_CLANGXX)
    message(STATUS "clang++ not found: fuzzer ${F_NAME} is not built")
    return()
  endif()
  if(NOT F_SECONDS)
    set(F_SECONDS ${PZ_FUZZ_SECONDS})
  endif()
  # Sources are named from the top of the repository.
  list(TRANSFORM F_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${F_NAME})
  set(flags -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
            ${PZ_CXX_WARNINGS})
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${PZ_CLANGXX} ${flags} -I${CMAKE_SOURCE_DIR} ${F_SOURCES} ${F_LIBS} -o ${out}
    DEPENDS ${F_SOURCES}
    IMPLICIT_DEPENDS CXX ${F_SOURCES}
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    COMMENT "Building fuzzer ${F_NAME}")
  add_custom_target(${F_NAME}_fuzzer ALL DEPENDS ${out})
  # New inputs go to a scratch corpus in the build; the committed one is only read.
  set(scratch ${CMAKE_CURRENT_BINARY_DIR}/${F_NAME}_scratch)
  file(MAKE_DIRECTORY ${scratch})
  pz_add_test(NAME ${F_NAME} LABEL fuzz
              COMMAND ${out} -max_total_time=${F_SECONDS} -rss_limit_mb=2048 -timeout=10
                      -artifact_prefix=${CMAKE_CURRENT_BINARY_DIR}/${F_NAME}- ${scratch} ${F_CORPUS})
endfunction()
