# The front door. Every target first makes sure the Debian packages are there (tools/deps.sh),
# then builds into build/<kind>/ with CMake:
#   make run     build everything and run the demonstration: a fresh SQLite repository under
#                build/release/demo, the project's own sources imported, queries and an update
#   make tour    the short tour of the library's value types, exceptions and log
#   make test    build and run every test suite and replay every fuzz corpus
#   make check   the suites under AddressSanitizer+UndefinedBehaviorSanitizer, the threaded
#                suites under ThreadSanitizer, and a short run of every fuzz target
#   make bench   build and run the benchmarks, printing ratios against their peers and ending
#                with one summary table (tools/bench.sh); BENCH_FILTER=regex runs a subset
#   make fuzz    run every fuzz target for FUZZ_SECONDS (default 60) each
#   make coverage  the suites built with --coverage: line and branch coverage of the library,
#                connectors and tools by area, and the test share (tools/coverage.py)
#   make package the Debian packages in build/package/ (a /usr build with the multiarch library
#                folder), checked: contents, lintian, extracted and used from outside, and the
#                multiarch install layout
#   make abi     the exported symbols of libdkcommon.so.1 against the baseline in abi/

JOBS        ?= $(shell nproc)
FUZZ_SECONDS ?= 60
CHECK_FUZZ_SECONDS ?= 20
CMAKE       ?= cmake
GEN         := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
FUZZ_TARGETS := $(basename $(notdir $(wildcard fuzz/*_fuzz.cpp)))

.PHONY: all deps run tour test check check-asan check-tsan check-fuzz bench fuzz coverage install package abi abi-baseline clean

all: test

deps:
	@tools/deps.sh

build/release/CMakeCache.txt: | deps
	$(CMAKE) -S . -B build/release $(GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build-release: build/release/CMakeCache.txt
	$(CMAKE) --build build/release -j $(JOBS)

run: deps build/release/CMakeCache.txt
	$(CMAKE) --build build/release -j $(JOBS)
	tools/dk/demo.sh build/release/bin .

tour: deps build/release/CMakeCache.txt
	$(CMAKE) --build build/release -j $(JOBS)
	build/release/bin/dktour

test: deps build/release/CMakeCache.txt
	$(CMAKE) --build build/release -j $(JOBS)
	cd build/release && ctest --output-on-failure -j $(JOBS)

check: check-asan check-tsan check-fuzz

check-asan: deps
	$(CMAKE) -S . -B build/asan $(GEN) -DCMAKE_BUILD_TYPE=Debug -DDK_SANITIZE=address,undefined
	$(CMAKE) --build build/asan -j $(JOBS)
	cd build/asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

check-tsan: deps
	$(CMAKE) -S . -B build/tsan $(GEN) -DCMAKE_BUILD_TYPE=Debug -DDK_SANITIZE=thread
	@# Only the threaded suites (and what they load) run here, so only they are built; the
	@# fixtures they need (the PostgreSQL server) are scripts, left out of the list of targets.
	$(CMAKE) --build build/tsan -j $(JOBS) --target $$(cd build/tsan && ctest -N -L threaded -FA '.*' | awk '/Test +#/ {print $$3}') dk_catalog
	cd build/tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  ctest --output-on-failure -j $(JOBS) -L threaded

build/fuzz/CMakeCache.txt: | deps
	CC=clang CXX=clang++ $(CMAKE) -S . -B build/fuzz $(GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DDK_TESTS=OFF -DDK_FUZZ=ON -DDK_SANITIZE=address,undefined

check-fuzz: deps build/fuzz/CMakeCache.txt
	$(CMAKE) --build build/fuzz -j $(JOBS) --target $(FUZZ_TARGETS)
	tools/runfuzz.sh build/fuzz/bin $(CHECK_FUZZ_SECONDS)

fuzz: deps build/fuzz/CMakeCache.txt
	$(CMAKE) --build build/fuzz -j $(JOBS) --target $(FUZZ_TARGETS)
	tools/runfuzz.sh build/fuzz/bin $(FUZZ_SECONDS)

bench: deps
	$(CMAKE) -S . -B build/bench $(GEN) -DCMAKE_BUILD_TYPE=Release -DDK_TESTS=OFF -DDK_BENCH=ON
	$(CMAKE) --build build/bench -j $(JOBS)
	@tools/bench.sh build/bench/bin build/bench/results

# A Debug build (no inlining, so every line keeps its own counter) with gcov's counters, updated
# atomically: the threaded suites would otherwise tear them.
COVERAGE_FLAGS := --coverage -fprofile-update=atomic
coverage: deps
	$(CMAKE) -S . -B build/coverage $(GEN) -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_C_FLAGS="$(COVERAGE_FLAGS)" -DCMAKE_CXX_FLAGS="$(COVERAGE_FLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage -DCMAKE_MODULE_LINKER_FLAGS=--coverage
	$(CMAKE) --build build/coverage -j $(JOBS)
	JOBS=$(JOBS) tools/coverage.py report build/coverage

install: build-release
	$(CMAKE) --install build/release --strip --prefix $(or $(PREFIX),build/install)

# The library, connectors and tools without tests; CPack writes one .deb per component into build/package/.
build/package/CMakeCache.txt: | deps
	$(CMAKE) -S . -B build/package $(GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
	  -DDK_TESTS=OFF -DDK_PACKAGE=ON

package: deps build/package/CMakeCache.txt
	$(CMAKE) --build build/package -j $(JOBS)
	rm -f build/package/*.deb
	cd build/package && cpack
	tests/install/package.sh build/package .
	tests/install/layout.sh destdir build/package .

# The ABI report against tools/abi/; abi-baseline refreshes the baseline (commit the result).
abi: build-release
	tools/abi.sh build/release

abi-baseline: build-release
	tools/abi.sh build/release --baseline

clean:
	rm -rf build
