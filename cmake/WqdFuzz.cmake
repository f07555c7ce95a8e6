# wqd_add_fuzz_target(NAME SOURCES ... LIBS ... CORPUS dir [DICT file])
# NAME should start with fuzz_. In the clang tree with WQD_FUZZ the target is a libFuzzer program;
# in every other host tree it is built with a small stand-alone runner. Either way CTest replays
# the committed seed corpus through it, so the corpus is an ordinary regression test.
function(wqd_add_fuzz_target name)
  cmake_parse_arguments(ARG "" "CORPUS;DICT" "SOURCES;LIBS" ${ARGN})
  if(CMAKE_CROSSCOMPILING)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  if(WQD_FUZZ)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    add_test(NAME ${name}_corpus COMMAND ${name} -runs=0 ${ARG_CORPUS})
  else()
    target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/fuzz/standalone_main.cpp)
    add_test(NAME ${name}_corpus COMMAND ${name} ${ARG_CORPUS})
  endif()
  set_tests_properties(${name}_corpus PROPERTIES LABELS fuzz)
  # scripts/fuzz finds the corpus and dictionary of each target through this file.
  file(WRITE ${CMAKE_BINARY_DIR}/fuzz-targets/${name} "${ARG_CORPUS}\n${ARG_DICT}\n")
endfunction()
