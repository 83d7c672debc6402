# libFuzzer targets (clang only): every tests/fuzz/*_fuzz.cpp against the portable sources,
# all with the address and undefined-behaviour sanitizers.  The hash engines get no coverage
# instrumentation: their comparisons depend on the round, not on the input, and tracing them
# would make every scan of a large input many times slower while adding nothing to steer by.
set(FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g -O1)
set(FUZZ_OBJECT_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g -O1)
set(FUZZ_HASH_SOURCES ${PURE_SOURCES})
list(FILTER FUZZ_HASH_SOURCES INCLUDE REGEX "/hash/")
set(FUZZ_TRACED_SOURCES ${PURE_SOURCES})
list(FILTER FUZZ_TRACED_SOURCES EXCLUDE REGEX "/hash/")
add_library(fuzz_hash OBJECT ${FUZZ_HASH_SOURCES})
target_include_directories(fuzz_hash PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(fuzz_hash PRIVATE ${FUZZ_OBJECT_FLAGS})
add_library(fuzz_pure OBJECT ${FUZZ_TRACED_SOURCES})
target_include_directories(fuzz_pure PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(fuzz_pure PRIVATE -fsanitize=fuzzer-no-link ${FUZZ_OBJECT_FLAGS})
file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/*_fuzz.cpp)
foreach(src ${FUZZ_SOURCES})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src} $<TARGET_OBJECTS:fuzz_pure> $<TARGET_OBJECTS:fuzz_hash>)
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
    target_compile_options(${name} PRIVATE ${FUZZ_FLAGS})
    target_link_options(${name} PRIVATE ${FUZZ_FLAGS})
endforeach()
