# SPDX-License-Identifier: MIT
# Front door: every target installs what is missing first, then builds.
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
MEMCHECK_SECONDS ?= 60
JOBS ?= $(shell nproc)
# ON: `make test` also fails on a source, script or build file without an SPDX line.
SPDX_CHECK ?= ON

.PHONY: all deps build build-asan run test test-asan lint bench soak memcheck fuzz install package check-package clean

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -G Ninja >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# The same program and suites with AddressSanitizer and UndefinedBehaviorSanitizer.
build-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DTOLVANE_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)

run: build
	@scripts/run-with-loopback $(BUILD)

test-asan: build-asan
	@echo "== suites under AddressSanitizer and UndefinedBehaviorSanitizer"
	@cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

# The sanitizer run comes first, then the plain run, then the package checks.
test: test-asan build
	@echo "== suites"
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory lint

# The metainfo, the desktop entry and the .deb under Debian's and
# freedesktop's own checkers (lintian, appstreamcli, desktop-file-validate).
lint: build
	@scripts/lint-package $(BUILD)
ifeq ($(SPDX_CHECK),ON)
	@echo "== SPDX lines"
	@scripts/check-spdx
endif

bench: build
	@cmake --build $(BUILD) -j $(JOBS) --target benchmarks
	@scripts/run-benchmarks $(BUILD)

# Ten minutes of full-speed receiving, text and hex in turn, watching the
# resident size (TOLVANE_SOAK_SECONDS shortens it).
soak: build
	@cmake --build $(BUILD) -j $(JOBS) --target bench_soak
	@QT_QPA_PLATFORM=offscreen $(BUILD)/bench/bench_soak

# A short soak under valgrind's memcheck: a definite leak or a memory error
# fails the run. The resident figures are valgrind's own, so the soak's
# verdict is only printed.
memcheck: build
	@scripts/install-deps --fuzz
	@cmake --build $(BUILD) -j $(JOBS) --target bench_soak
	@QT_QPA_PLATFORM=offscreen valgrind --leak-check=full --show-leak-kinds=definite \
	  --errors-for-leak-kinds=definite --error-exitcode=1 --num-callers=30 \
	  $(BUILD)/bench/bench_soak --seconds $(MEMCHECK_SECONDS) --report-only

# libFuzzer targets, built with clang, each run for FUZZ_SECONDS.
fuzz:
	@scripts/install-deps --fuzz
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DTOLVANE_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers
	@scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS)

install: build
	@cmake --install $(BUILD)

package: build
	@cd $(BUILD) && cpack -G DEB

# Installs the package into a fresh minimal Debian 12 and looks for its window
# there (needs the network and a few minutes; not part of `make test`).
check-package: build
	@scripts/install-deps --check-package
	@scripts/check-package $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
