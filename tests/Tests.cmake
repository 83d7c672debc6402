# Test registration.  Each *_test.cpp is its own executable and its own ctest entry, so Wine
# starts once per file, not once per case.  tests/pure/ holds the tests of the portable code
# and runs in both the native sanitizer build and the twin; tests/win/ runs in the twin only.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${GTEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# tests/pure/md4_test.cpp becomes pure_md4_test: the same file is built in two suites.
function(test_name out src)
    get_filename_component(dir ${src} DIRECTORY)
    get_filename_component(dir ${dir} NAME)
    get_filename_component(name ${src} NAME_WE)
    set(${out} ${dir}_${name} PARENT_SCOPE)
endfunction()

if(WIN32)
    if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
        # The release is inspected, not run: this machine cannot execute i686 code.
        add_test(NAME release_exe COMMAND ${CMAKE_SOURCE_DIR}/tests/release_check.sh $<TARGET_FILE:velquor>)
        # Run by `make smoke32` under emulated 32-bit Wine, never by ctest.
        add_executable(smoke32 tests/smoke/smoke32_win.cpp)
        target_include_directories(smoke32 PRIVATE ${CMAKE_SOURCE_DIR})
        target_link_options(smoke32 PRIVATE -municode)
        return()
    endif()
    file(GLOB SUPPORT_SOURCES CONFIGURE_DEPENDS tests/win/support/*.cpp)
    add_library(test_support STATIC ${SUPPORT_SOURCES})
    target_include_directories(test_support PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/tests/win)
    target_link_libraries(test_support PUBLIC velquor_core gtest crypt32)

    set(WINE_RUN ${CMAKE_SOURCE_DIR}/tests/wine/run.sh)
    set(SESSION_DIR ${CMAKE_BINARY_DIR}/wine-session)
    add_test(NAME wine_start COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/session.sh start ${SESSION_DIR})
    add_test(NAME wine_stop COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/session.sh stop ${SESSION_DIR})
    # Making the prefix takes about 20 s on a machine with only 64-bit Wine, but more than five
    # minutes where 32-bit Wine is installed too (make smoke32 installs it): wineboot then also
    # sets up the 32-bit half, whose programs start under qemu.
    set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 1800)
    set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)

    file(GLOB WIN_TESTS CONFIGURE_DEPENDS tests/win/*_test.cpp tests/pure/*_test.cpp)
    foreach(src ${WIN_TESTS})
        test_name(name ${src})
        add_executable(${name} ${src} $<TARGET_OBJECTS:velquor_res>)
        target_link_libraries(${name} PRIVATE test_support gtest_main)
        set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
        # The download tests talk to stand-in cache servers that a wrapper starts around them,
        set(wrapper)
        if(name STREQUAL "win_download_test")
            set(wrapper ${CMAKE_SOURCE_DIR}/tests/servers/with_cache_server.sh ${CMAKE_BINARY_DIR}/cache-servers)
        elseif(name STREQUAL "win_ed2k_link_test")
            # and the ed2k tests a file that fails part-way, from a FUSE file system of their own,
            # mounted where the session's wineserver sees it.
            set(wrapper ${CMAKE_SOURCE_DIR}/tests/wine/in_session.sh ${SESSION_DIR}
                        ${CMAKE_SOURCE_DIR}/tests/servers/failing_fs.py ${CMAKE_BINARY_DIR}/failing-fs)
        endif()
        add_test(NAME twin_${name} COMMAND ${wrapper} ${WINE_RUN} ${SESSION_DIR} $<TARGET_FILE:${name}>)
        set_tests_properties(twin_${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 600 RESOURCE_LOCK wine_desktop)
    endforeach()
    # The torrent tests read the committed torrents (Wine shows the Unix root as Z:) and take
    # their reference hashes from CNG.  Their names that are not UTF-8 need the ANSI code page
    # 936, which Wine takes from a Chinese locale, so that suite runs as an entry of its own.
    target_compile_definitions(win_torrent_test PRIVATE "VELQUOR_FIXTURES=\"Z:${CMAKE_SOURCE_DIR}/tests/fixtures\"")
    target_link_libraries(win_torrent_test PRIVATE bcrypt)
    set_tests_properties(twin_win_torrent_test PROPERTIES ENVIRONMENT "GTEST_FILTER=-Gbk936.*")
    add_test(NAME twin_win_torrent_gbk COMMAND ${WINE_RUN} ${SESSION_DIR} $<TARGET_FILE:win_torrent_test> --gtest_filter=Gbk936.*)
    set_tests_properties(twin_win_torrent_gbk PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 600 RESOURCE_LOCK wine_desktop
                         ENVIRONMENT "LANG=zh_CN.UTF-8;LC_ALL=zh_CN.UTF-8")
    add_dependencies(test_support velquor)
    # Run by tools/run.sh for the README's picture, never by ctest.
    add_executable(screenshot tools/screenshot_win.cpp)
    target_link_libraries(screenshot PRIVATE test_support)
    target_link_options(screenshot PRIVATE -municode)
else()
    set(SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_compile_options(velquor_pure PRIVATE ${SANITIZE} -g -O1)
    file(GLOB NATIVE_TESTS CONFIGURE_DEPENDS tests/native/*_test.cpp tests/pure/*_test.cpp)
    foreach(src ${NATIVE_TESTS})
        test_name(name ${src})
        add_executable(${name} ${src})
        target_compile_options(${name} PRIVATE ${SANITIZE} -g -O1)
        target_link_options(${name} PRIVATE ${SANITIZE})
        target_link_libraries(${name} PRIVATE velquor_pure gtest_main)
        target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
        set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
        add_test(NAME native_${name} COMMAND ${name})
        set_tests_properties(native_${name} PROPERTIES TIMEOUT 600)
    endforeach()
endif()
