# Developer entry points; every target that needs tools installs them first through `setup`.
SHELL := /bin/bash
MAKEFLAGS += --no-print-directory
BUILD := build
JOBS ?= $(shell nproc)
CMAKE_FLAGS := -DCMAKE_BUILD_TYPE=Release

.PHONY: all setup build native win32 win64 run screenshot test bench fuzz smoke32 dist clean

all: build

setup:
	@tools/setup.sh

build: setup win32 win64 native

$(BUILD)/%/build.ninja: ;

win32:
	@cmake -S . -B $(BUILD)/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD)/win32 -j $(JOBS)

win64:
	@cmake -S . -B $(BUILD)/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD)/win64 -j $(JOBS)

native:
	@cmake -S . -B $(BUILD)/native $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD)/native -j $(JOBS)

run: setup win64
	@tools/run.sh

# The README's picture, made as `make run` makes it without a display.
screenshot: setup win64
	@env -u DISPLAY tools/run.sh docs/screenshot.png

test: build
	@cd $(BUILD)/native && ctest --output-on-failure
	@cd $(BUILD)/win32 && ctest --output-on-failure
	@cd $(BUILD)/win64 && ctest --output-on-failure

bench: setup
	@BUILD=$(BUILD) tools/bench.sh

# Each libFuzzer target for FUZZ_SECONDS, on a corpus kept in $(BUILD)/fuzz/corpus/<target>.
# The bencode targets start from the real torrents and two files that close an info dictionary
# every 8 bytes, and use the bencode dictionary; inputs of up to 1 MiB, where a scan whose cost is
# not linear in the size would exceed the 10 s timeout.  A crash or a timeout stops the run; its
# input is in $(BUILD)/fuzz/artifacts and the report in the target's log.
FUZZ_SECONDS ?= 60
fuzz: setup
	@cmake -S . -B $(BUILD)/fuzz -DCMAKE_CXX_COMPILER=clang++ -DVELQUOR_FUZZ=ON -DVELQUOR_TESTS=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD)/fuzz -j $(JOBS)
	@mkdir -p $(BUILD)/fuzz/artifacts; \
	for src in tests/fuzz/*_fuzz.cpp; do \
	    name=$$(basename $$src .cpp); corpus=$(BUILD)/fuzz/corpus/$$name; log=$(BUILD)/fuzz/$$name.log; opts=; \
	    mkdir -p $$corpus; \
	    case $$name in bencode*) \
	        cp tests/fixtures/*.torrent $$corpus/; opts="-dict=tests/fuzz/bencode.dict -max_len=1048576 -timeout=10"; \
	        python3 tools/bench/make_torrent.py $$corpus/closes-1000002 1000002 closes; \
	        python3 tools/bench/make_torrent.py $$corpus/closes-1MiB 10485759 closes; truncate -s 1048576 $$corpus/closes-1MiB;; \
	    esac; \
	    echo "== $$name, $(FUZZ_SECONDS) s"; \
	    if $(BUILD)/fuzz/$$name $$corpus $$opts -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	            -artifact_prefix=$(BUILD)/fuzz/artifacts/$$name- >$$log 2>&1; then \
	        grep -E '^#[0-9]+.*(INITED|DONE)|^stat::(number_of_executed_units|peak_rss_mb)' $$log; \
	    else \
	        tail -n 40 $$log; echo "$$name failed: input in $(BUILD)/fuzz/artifacts, report in $$log"; exit 1; \
	    fi; \
	done

smoke32: setup win32
	@tools/smoke32.sh

# The release as users get it, with its checksum, once a second build has given the same bytes.
dist: setup win32
	@BUILD=$(BUILD) tools/dist.sh

clean:
	rm -rf $(BUILD)
