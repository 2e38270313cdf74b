# Wrapper around CMake. Native build in build/, 32-bit Windows in build-win32/,
# sanitizer build in build-asan/.
JOBS ?= 2
CMAKE ?= cmake
BUILD_TYPE ?= Release

.PHONY: all deps deps-demo configure build win32 asan check test demo bench fuzz fuzz-build dist windows-deps clean

all: build

deps:
	bash tools/install-deps.sh

# Only what the native build and the demo need (no cross compiler, Wine or browser).
deps-demo:
	bash tools/install-deps.sh --demo

configure:
	$(CMAKE) -S . -B build -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) > build.log 2>&1 || (cat build.log; exit 1)

build: configure
	$(CMAKE) --build build -j$(JOBS)

# The 32-bit Windows DLLs, aucal.exe and the Wine host (build-win32/bin); the
# wine tests of the native build run them. aucal.exe links the libraries of
# windows-deps, built once into build-win32/deps (about 7 minutes on two
# cores; later runs find them up to date).
win32: windows-deps
	$(CMAKE) -S . -B build-win32 -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake > build-win32.log 2>&1 || (cat build-win32.log; exit 1)
	$(CMAKE) --build build-win32 -j$(JOBS)

asan:
	$(CMAKE) -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DAUCAL_SANITIZE=ON -DAUCAL_BENCH=OFF > build-asan.log 2>&1 || (cat build-asan.log; exit 1)
	$(CMAKE) --build build-asan -j$(JOBS)

# Fuzzing: clang with libFuzzer, ASan and UBSan, in build-fuzz/.
FUZZ_SECONDS ?= 600
fuzz-build:
	$(CMAKE) -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DAUCAL_FUZZ=ON > build-fuzz.log 2>&1 || (cat build-fuzz.log; exit 1)
	$(CMAKE) --build build-fuzz -j$(JOBS)

fuzz: fuzz-build
	bash tools/run-fuzzers.sh build-fuzz $(FUZZ_SECONDS)

# Quick iteration: native build and unit tests only.
check: build
	cd build && ctest -L unit -j$(JOBS) --output-on-failure

# Everything: packages, both builds, every test (the wine tests compare the
# two builds), the sanitizer build.
# Everything: packages, both builds, every test, the sanitizer build, and a
# short run of each fuzzer.
FUZZ_TEST_SECONDS ?= 60
test: deps build win32 asan fuzz-build
	cd build && ctest -j$(JOBS) --output-on-failure
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest -LE wine -j$(JOBS) --output-on-failure
	bash tools/run-fuzzers.sh build-fuzz $(FUZZ_TEST_SECONDS)

demo: deps-demo build
	./build/bin/aucal demo --out demo-output

# The packages: build/aucal_<version>_<arch>.deb (CPack; the manual page and
# the API reference are made first) and build-win32/aucal-<version>-win32.zip.
dist: deps build win32
	$(CMAKE) --build build --target dist-docs
	cd build && cpack -G DEB
	$(CMAKE) --build build-win32 --target windows-zip

# LittleCMS, zlib, libpng, libtiff and libjpeg-turbo for 32-bit Windows, from
# their Debian source packages (pinned, checksummed), into build-win32/deps,
# which aucal.exe links statically.
windows-deps:
	bash tools/windows-deps.sh build-win32/deps

# Benchmarks and reports: every *_report program prints its table, then the
# Google Benchmark programs run.
bench: build
	@for r in build/bin/*_report; do [ -x "$$r" ] && "$$r"; echo; done
	@for b in build/bin/*_bench; do [ -x "$$b" ] && "$$b" --benchmark_counters_tabular=true; done

clean:
	rm -rf build build-win32 build-asan build-fuzz build*.log
