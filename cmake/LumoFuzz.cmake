# The fuzzing configuration (-DLUMO_FUZZ=ON, clang only): every library is instrumented for the
# fuzzer's coverage and for AddressSanitizer and UndefinedBehaviorSanitizer; only the fuzz
# targets link libFuzzer's driver (lumo_add_fuzz_target).
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "LUMO_FUZZ needs clang (-DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang)")
endif()
if(WIN32)
    message(FATAL_ERROR "The fuzz targets are Linux-only")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                    -fno-omit-frame-pointer -g)
add_link_options(-fsanitize=address,undefined)

# lumo_add_fuzz_target(NAME SOURCE LIBRARIES...): one fuzzer executable at the top of the tree.
function(lumo_add_fuzz_target name source)
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE ${ARGN})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    lumo_warnings(${name})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}")
endfunction()
