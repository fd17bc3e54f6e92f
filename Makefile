# Corvina: the two set-up commands are `make run` and `make test` (see README.md).
SHELL := /bin/bash
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
CMAKE_GEN := -G Ninja

.PHONY: all deps test-deps build run install deb test asan tsan fuzz bench clean
PREFIX ?= /usr/local

all: build

deps:
	@scripts/install-deps.sh

test-deps:
	@scripts/install-deps.sh --test

# Only the phone's program: no tests, fuzz targets or benchmarks.
build: deps
	cmake -S . -B build $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVINA_TESTS=OFF
	cmake --build build -j $(JOBS) --target corvina

# Installs the release build under PREFIX (PREFIX=~/.local needs no root).
install: build
	cmake --build build -j $(JOBS)
	cmake --install build --prefix $(PREFIX)

# The Debian package of the same build and install rules: build/corvina_VERSION_ARCH.deb.
deb: build
	cmake --build build -j $(JOBS)
	cd build && cpack -G DEB

# Starts the phone: the Qt window when a display is there, otherwise the console phone.
run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then exec build/ui/corvina; else exec build/ui/corvina --headless; fi

# Line tables only (-g1): backtraces keep their files and lines, and GCC builds the tests about a
# fifth faster than with full debug information.
test: test-deps
	cmake -S . -B build-test $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_C_FLAGS_DEBUG=-g1 \
	  -DCORVINA_TESTS=ON
	cmake --build build-test -j $(JOBS)
	cd build-test && ctest --output-on-failure -j $(JOBS) --timeout 600

# The address sanitizer build uses clang, which compiles it about a third faster than GCC. The
# thread sanitizer build stays on GCC: clang's runtime brings its own operator new, which clashes
# with the allocation-counting tests.
asan: test-deps
	CC=clang CXX=clang++ cmake -S . -B build-asan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DCORVINA_TESTS=ON -DCORVINA_SANITIZE=ON
	cmake --build build-asan -j $(JOBS) --target unit-tests
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  ctest --output-on-failure -j $(JOBS) -L 'unit|fuzz-smoke' --timeout 600

# ThreadSanitizer build of the unit tests; tests/tsan.supp lists the third-party reports it ignores.
tsan: test-deps
	cmake -S . -B build-tsan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DCORVINA_TESTS=ON -DCORVINA_TSAN=ON
	cmake --build build-tsan -j $(JOBS) --target unit-tests
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp" \
	  ctest --output-on-failure -j $(JOBS) -L unit --timeout 600

fuzz: test-deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCORVINA_TESTS=OFF -DCORVINA_GUI=OFF -DCORVINA_FUZZ=ON -DCORVINA_SANITIZE=ON
	cmake --build build-fuzz -j $(JOBS) --target fuzz-targets
	@set -e; for t in build-fuzz/fuzz/fuzz_*; do \
	  [ -x "$$t" ] || continue; name=$$(basename $$t); stem=$${name#fuzz_}; \
	  mkdir -p build-fuzz/corpus/$$stem; \
	  echo "== $$name for $(FUZZ_SECONDS) s"; \
	  $$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 -artifact_prefix=build-fuzz/$$name- \
	    build-fuzz/corpus/$$stem fuzz/corpus/$$stem; \
	done

bench: test-deps
	cmake -S . -B build-bench $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DCORVINA_TESTS=OFF -DCORVINA_BENCH=ON
	cmake --build build-bench -j $(JOBS)
	@set -e; for b in build-bench/bench/*_bench; do [ -x "$$b" ] && $$b; done

clean:
	rm -rf build build-test build-asan build-tsan build-fuzz build-bench
