# The two commands: `make demo` and `make test`. Both install what is missing first.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
WINEBENCH := tests/wine/winebench

.PHONY: all deps native win32 fuzz-build test test-native test-win32 test-fuzz test-e2e fuzz bench demo clean

all: native win32

deps:
	@scripts/install-deps

native: deps
	cmake --preset native >/dev/null
	cmake --build build/native -j$(JOBS)

win32: deps
	cmake --preset win32 >/dev/null
	cmake --build build/win32 -j$(JOBS)

fuzz-build: deps
	cmake --preset fuzz >/dev/null
	cmake --build build/fuzz -j$(JOBS)

test-native: native
	ctest --test-dir build/native --output-on-failure --no-tests=error

# The Win32 programs run under Wine in the bench's own prefix, with wineserver kept up meanwhile.
test-win32: win32
	$(WINEBENCH) run ctest --test-dir build/win32 --output-on-failure --no-tests=error

# Each fuzzer runs briefly over its seed corpus.
test-fuzz: fuzz-build
	@if ctest --test-dir build/fuzz -N | grep -q 'Total Tests: 0'; then echo "no fuzzers yet"; \
	else ctest --test-dir build/fuzz --output-on-failure -L fuzz; fi

# Whole runs of the real program under Xvfb and Wine: every tests/e2e/*.sh suite.
test-e2e: win32
	@set -e; for suite in $$(ls tests/e2e/*.sh 2>/dev/null); do echo "== $$suite"; timeout 1200 $$suite; done

test: test-native test-win32 test-fuzz test-e2e

# Longer fuzzing: FUZZ_SECONDS per target.
FUZZ_SECONDS ?= 600
fuzz: deps
	cmake --preset fuzz -DKLU_FUZZ_SECONDS=$(FUZZ_SECONDS) >/dev/null
	cmake --build build/fuzz -j$(JOBS)
	ctest --test-dir build/fuzz --output-on-failure -L fuzz --timeout $$(( $(FUZZ_SECONDS) + 120 ))

# Benchmarks print ratios against peers measured in the same run: every bench/*/run.sh.
bench: deps
	cmake --preset release >/dev/null
	cmake --build build/release -j$(JOBS)
	cmake --preset win32 >/dev/null
	cmake --build build/win32 -j$(JOBS)
	@set -e; mkdir -p build/bench; for b in $$(ls bench/*/run.sh 2>/dev/null); do echo "== $$b"; $$b; done
	python3 bench/report.py build/bench

# The main job: build, serve the demo package on 127.0.0.1, install it under Wine, show the result.
demo: win32
	demo/run-demo.sh

clean:
	rm -rf build
