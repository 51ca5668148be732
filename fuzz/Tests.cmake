# The clang configuration's tests. One build per use, so that the two run
# side by side: the fuzz targets, each then run for a bounded time from its
# checked-in seed corpus, and the host tests under clang's sanitizers.
set(VISTREL_FUZZ_SECONDS 10 CACHE STRING "How long each fuzz target runs in the tests")
set(_fuzz_build ${CMAKE_BINARY_DIR}/fuzz)
add_test(NAME fuzz.build
         COMMAND ${PROJECT_SOURCE_DIR}/fuzz/fuzz.sh build ${PROJECT_SOURCE_DIR} ${_fuzz_build}
                 fuzz_capture_path fuzz_bmp_encoder fuzz_png_text fuzz_forms_listing fuzz_config_response)
set_tests_properties(fuzz.build PROPERTIES LABELS fuzz FIXTURES_SETUP fuzz_targets TIMEOUT 300)
foreach(Name capture_path bmp_encoder png_text forms_listing config_response)
  add_test(NAME fuzz.${Name}
           COMMAND ${PROJECT_SOURCE_DIR}/fuzz/fuzz.sh run ${PROJECT_SOURCE_DIR} ${_fuzz_build} ${Name}
                   ${VISTREL_FUZZ_SECONDS})
  set_tests_properties(fuzz.${Name} PROPERTIES LABELS fuzz FIXTURES_REQUIRED fuzz_targets TIMEOUT 300)
endforeach()

set(_clang_build ${CMAKE_BINARY_DIR}/clang-sanitized)
add_test(NAME sanitize.clang.build
         COMMAND ${PROJECT_SOURCE_DIR}/fuzz/fuzz.sh build ${PROJECT_SOURCE_DIR} ${_clang_build}
                 vistrel_clang_sanitized_tests)
set_tests_properties(sanitize.clang.build PROPERTIES LABELS sanitize FIXTURES_SETUP clang_sanitized
                     TIMEOUT 300)
add_test(NAME sanitize.clang COMMAND ${_clang_build}/fuzz/vistrel_clang_sanitized_tests)
set_tests_properties(sanitize.clang PROPERTIES LABELS sanitize FIXTURES_REQUIRED clang_sanitized TIMEOUT 300)
