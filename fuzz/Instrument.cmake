# Included from the top CMakeLists.txt before any target is defined when QUILLDATA_FUZZ is on:
# the library and the tool layer get coverage feedback and both sanitizers, so that a fault in
# them stops the fuzzer at the statement that went wrong. The fuzzing engine itself is linked
# only into the targets in this folder (fuzz/CMakeLists.txt).
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "QUILLDATA_FUZZ needs clang: configure with "
                      "-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++")
endif()
if(QUILLDATA_SANITIZE)
  message(FATAL_ERROR "QUILLDATA_FUZZ already builds with both sanitizers: leave QUILLDATA_SANITIZE off")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                    -fno-sanitize-recover=undefined -g)
add_link_options(-fsanitize=address,undefined)
