# Entry points for developers and CI; CMake and Ninja do the real building.

SHELL := /bin/bash
# Fail a recipe on the first failing command, including inside pipelines.
.SHELLFLAGS := -euo pipefail -c

CMAKE ?= cmake
CTEST ?= ctest
CLANG_FORMAT ?= clang-format

# SAN=1 builds with ASan+UBSan in its own directory so it never clobbers the normal build;
# TSAN=1 likewise with ThreadSanitizer judging the product's code over the simulated threads.
SAN ?= 0
TSAN ?= 0
SANITIZE := OFF
RACES := OFF
ifeq ($(SAN),1)
BUILD_DIR := build-san
BUILD_TYPE := Debug
SANITIZE := ON
else ifeq ($(TSAN),1)
BUILD_DIR := build-tsan
BUILD_TYPE := RelWithDebInfo
RACES := ON
else
BUILD_DIR := build
BUILD_TYPE := RelWithDebInfo
endif

# Benchmarks are only meaningful optimised and uninstrumented, whatever SAN says.
BENCH_BUILD_DIR := build
# libFuzzer needs clang; the fuzz build has a directory of its own. FUZZ_SECONDS is the total
# time of `make fuzz`, shared among the fuzz targets.
FUZZ_BUILD_DIR := build-fuzz
FUZZ_CXX ?= clang++
FUZZ_SECONDS ?= 120
AMPSIM := $(BUILD_DIR)/sim/ampsim/ampsim
DEMO_ARGS ?= --show pnp,ioctl,usb,speaker,dbg,kernel,app,msg,tray,menu,proc,ui

FORMAT_DIRS := $(wildcard common driver sim tests bench app)
# An empty list would make find search the whole tree, build directories included.
FORMAT_FILES = $(if $(FORMAT_DIRS),find $(FORMAT_DIRS) -type f \( -name '*.cpp' -o -name '*.h' \) -print0,printf '')

# Print a stack for any sanitizer report; UB already aborts via -fno-sanitize-recover.
export UBSAN_OPTIONS ?= print_stacktrace=1
export ASAN_OPTIONS ?= abort_on_error=1

.PHONY: all setup configure build test demo pictures bench fuzz windows check-windows format format-check clean

all: test

setup:
	@bash scripts/setup.sh

configure: setup
	@$(CMAKE) -S . -B $(BUILD_DIR) -G Ninja --log-level=WARNING \
	    -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DTABVOLT_SANITIZE=$(SANITIZE) \
	    -DTABVOLT_TSAN=$(RACES)

build: configure
	@$(CMAKE) --build $(BUILD_DIR)

test: build
	@$(CTEST) --test-dir $(BUILD_DIR) --output-on-failure --no-tests=error -j2

demo: configure
	@$(CMAKE) --build $(BUILD_DIR) --target ampsim
	@cd $(BUILD_DIR) && ./sim/ampsim/ampsim $(DEMO_ARGS)
	@echo "The notify dialog, as the simulated screen showed it: $(BUILD_DIR)/ampwise-notify.png"

# The README's pictures, made from docs/pictures.scn in docs/.
pictures: configure
	@$(CMAKE) --build $(BUILD_DIR) --target ampsim
	@cd docs && ../$(AMPSIM) --show ui pictures.scn | grep ' ui snapshot '

bench: setup
	@$(CMAKE) -S . -B $(BENCH_BUILD_DIR) -G Ninja --log-level=WARNING \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTABVOLT_SANITIZE=OFF
	@$(CMAKE) --build $(BENCH_BUILD_DIR) --target benches ampsim
	@shopt -s nullglob; ran=0; \
	for b in $(BENCH_BUILD_DIR)/bench/bench_*; do \
	    [ -f "$$b" ] && [ -x "$$b" ] || continue; \
	    echo "== $$b"; "$$b"; ran=1; \
	done; \
	if [ "$$ran" -eq 0 ]; then echo "bench: no bench_* executables in $(BENCH_BUILD_DIR)/bench"; fi
	@echo "== whole programs against their goals"
	@bash bench/goals.sh $(BENCH_BUILD_DIR)/sim/ampsim/ampsim $(FUZZ_BUILD_DIR)/tests/fuzz/ioctl_fuzzer

fuzz: setup
	@$(CMAKE) -S . -B $(FUZZ_BUILD_DIR) -G Ninja --log-level=WARNING \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=$(FUZZ_CXX) -DTABVOLT_FUZZ=ON
	@$(CMAKE) --build $(FUZZ_BUILD_DIR)
	@bash scripts/run-fuzzers.sh $(FUZZ_BUILD_DIR) $(FUZZ_SECONDS)

# Ampwise and tabvoltctl for 32-bit Windows, cross-built with mingw-w64 into their own
# directory; tabvoltctl also for 64-bit Windows, from the same sources, in x64/ below it;
# beside them tabvolt.sys for 64-bit Windows and the installer of Ampwise and the driver.
WINDOWS_BUILD_DIR := build-windows

windows: setup
	@$(CMAKE) -S app -B $(WINDOWS_BUILD_DIR) -G Ninja --log-level=WARNING \
	    -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/app/toolchain-mingw.cmake
	@$(CMAKE) --build $(WINDOWS_BUILD_DIR)
	@$(CMAKE) -S app -B $(WINDOWS_BUILD_DIR)/x64 -G Ninja --log-level=WARNING \
	    -DCMAKE_BUILD_TYPE=Release -DAMPWISE_ARCH=x86_64 \
	    -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/app/toolchain-mingw.cmake
	@$(CMAKE) --build $(WINDOWS_BUILD_DIR)/x64 --target tabvoltctl
	@$(CMAKE) -S driver/windows -B $(WINDOWS_BUILD_DIR)/driver -G Ninja --log-level=WARNING \
	    -DCMAKE_BUILD_TYPE=Release -DTABVOLT_OUTPUT_DIR=$(CURDIR)/$(WINDOWS_BUILD_DIR)
	@$(CMAKE) --build $(WINDOWS_BUILD_DIR)/driver
	@makensis -V2 -WX -DBUILD_DIR=$(CURDIR)/$(WINDOWS_BUILD_DIR) -DDRIVER_DIR=$(CURDIR)/driver \
	    installer/ampwise.nsi

# The driver's compile check and its image's imports, then the smoke test of Ampwise and
# tabvoltctl under Wine, then the driver package and the installer applied and removed there.
check-windows: setup windows
	@bash scripts/check-windows.sh
	@bash scripts/check-driver-image.sh
	@bash scripts/setup.sh windows
	@bash scripts/wine-smoke.sh
	@bash scripts/wine-install.sh

format: setup
	@$(FORMAT_FILES) | xargs -0 -r $(CLANG_FORMAT) -i

format-check: setup
	@$(FORMAT_FILES) | xargs -0 -r $(CLANG_FORMAT) --dry-run -Werror

clean:
	rm -rf build build-san build-tsan build-fuzz build-windows
