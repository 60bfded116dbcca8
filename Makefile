# The two commands a person needs: `make run` and `make test`.
SHELL := /bin/bash

# ccache keys on paths relative to the checkout, so a clone in another folder reuses the cache.
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := true
export CCACHE_MAXSIZE ?= 5G

JOBS ?= $(shell nproc)

.PHONY: deps run build-release test bench fuzz format

deps:
	@./scripts/install-deps.sh

build-release: deps
	cmake --preset release
	cmake --build --preset release --target NimbrelLab -j $(JOBS)

run: build-release
	./build/release/bin/NimbrelLab

test: deps
	cmake --preset test
	cmake --build --preset test -j $(JOBS)
	ctest --preset test -j $(JOBS)
	# The threaded tests (USB link, device factory) once more under ThreadSanitizer.
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan -j $(JOBS)

bench: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS)
	@for b in build/release/bench/bench_*; do \
	  [ -f "$$b" ] && [ -x "$$b" ] || continue; \
	  echo "== $$(basename $$b)"; \
	  "$$b" || exit 1; \
	done

# Every libFuzzer target for at least 10 million executions (tests/fuzz, docs/fuzzing.md).
fuzz: deps
	tests/fuzz/run-fuzz.sh long build/fuzz

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')
