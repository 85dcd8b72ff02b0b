# Instrumentation for a fuzzing build: every target gets libFuzzer's coverage
# hooks (the harness executables add the fuzzer's main at link time) and both
# sanitizers, which stop at the first report so that libFuzzer keeps the input.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VELMORA_FUZZ needs clang: configure with CC=clang CXX=clang++")
endif()
set(VELMORA_FUZZ_COVERAGE OFF CACHE BOOL
    "Also instrument for llvm-cov source coverage (-fprofile-instr-generate)")
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=all)
add_link_options(-fsanitize=address,undefined)
if(VELMORA_FUZZ_COVERAGE)
    add_compile_options(-fprofile-instr-generate -fcoverage-mapping)
    add_link_options(-fprofile-instr-generate)
endif()
