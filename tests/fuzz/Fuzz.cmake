# libFuzzer targets (clang only): every tests/fuzz/*_fuzz.cpp against the portable sources,
# all instrumented, with the address and undefined-behaviour sanitizers.
set(FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g -O1)
add_library(fuzz_pure OBJECT ${PURE_SOURCES})
target_include_directories(fuzz_pure PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(fuzz_pure PRIVATE -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                       -fno-omit-frame-pointer -g -O1)
file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/*_fuzz.cpp)
foreach(src ${FUZZ_SOURCES})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src} $<TARGET_OBJECTS:fuzz_pure>)
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
    target_compile_options(${name} PRIVATE ${FUZZ_FLAGS})
    target_link_options(${name} PRIVATE ${FUZZ_FLAGS})
endforeach()
