# Benchmark programs: every tools/bench/*_bench.cpp, optimised, against the portable code.
file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/bench/*_bench.cpp)
foreach(src ${BENCH_SOURCES})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_link_libraries(${name} PRIVATE velquor_pure)
endforeach()
