# Developer entry points; every target that needs tools installs them first through `setup`.
SHELL := /bin/bash
MAKEFLAGS += --no-print-directory
BUILD := build
JOBS ?= $(shell nproc)
CMAKE_FLAGS := -DCMAKE_BUILD_TYPE=Release

.PHONY: all setup build native win32 win64 run test bench smoke32 clean

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

test: build
	@cd $(BUILD)/native && ctest --output-on-failure
	@cd $(BUILD)/win32 && ctest --output-on-failure
	@cd $(BUILD)/win64 && ctest --output-on-failure

bench: setup
	@tools/bench.sh

smoke32: setup win32
	@tools/smoke32.sh

clean:
	rm -rf $(BUILD)
