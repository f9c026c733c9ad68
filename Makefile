# make test  - set-up, sanitizer build, every test through ctest
# make demo  - set-up, build, the main job on generated sample discs
# make bench - set-up, Release build, benchmarks against the usual tools
# make windows - set-up, cross build of everything but the windows for 64-bit Windows (mingw-w64)
# make windows-full - the same with the imaging layer and vnkit.exe (libjpeg/libpng built from Debian sources)
# make windows-check - the Windows build's checks, run under Wine (installs Wine)
# make fuzz - set-up, the libFuzzer targets (clang) run FUZZ_SECONDS each (FUZZ_PARALLEL at a time)
# make install - build, then install vnsetup, vnkit, the desktop entry and the icon (PREFIX, DESTDIR)
# make package - build, then a Debian package of the same (build/vnsetup_*.deb)
JOBS ?= $(shell nproc)
GEN := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: all setup build test demo bench windows windows-build windows-full windows-check format clean \
	fuzz fuzz-build install package

all: build

setup:
	bash scripts/setup.sh

build: setup
	cmake -S . -B build $(GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVN_BUILD_TESTS=OFF
	cmake --build build -j $(JOBS)

test: setup
	cmake -S . -B build-asan $(GEN) -DCMAKE_BUILD_TYPE=Debug -DVN_SANITIZE=ON -DVN_BUILD_TESTS=ON
	cmake --build build-asan -j $(JOBS)
	$(MAKE) --no-print-directory windows-build
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory fuzz-build
	cd build-fuzz && ctest --output-on-failure -j $(JOBS)

demo: build
	bash scripts/demo.sh build

bench: setup
	cmake -S . -B build-release $(GEN) -DCMAKE_BUILD_TYPE=Release -DVN_BUILD_TESTS=OFF -DVN_BUILD_BENCH=ON
	cmake --build build-release -j $(JOBS)
	bash bench/run.sh build-release

# The Windows build, with the program that checks the Windows backend (tests/windows). A POSIX call
# that leaks into a shared layer breaks it, so `make test` runs it too; running the checks needs Wine,
# which is large, so only `make windows-check` installs it and runs them.
windows: setup windows-build

windows-build:
	cmake -S . -B build-win $(GEN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
		-DCMAKE_BUILD_TYPE=Release -DVN_BUILD_GUI=OFF -DVN_BUILD_TESTS=OFF -DVN_WINDOWS_CHECK=ON
	cmake --build build-win -j $(JOBS)

# The whole Windows build, imaging and vnkit.exe included, with libjpeg and libpng built for mingw from
# Debian's source packages (scripts/mingw_imaging.sh).
windows-full: setup
	bash scripts/mingw_imaging.sh build-win-deps
	cmake -S . -B build-win-full $(GEN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
		-DCMAKE_PREFIX_PATH=$(CURDIR)/build-win-deps/prefix \
		-DCMAKE_BUILD_TYPE=Release -DVN_BUILD_GUI=OFF -DVN_BUILD_TESTS=OFF -DVN_WINDOWS_CHECK=ON
	cmake --build build-win-full -j $(JOBS)

windows-check: windows
	bash scripts/setup.sh wine
	bash scripts/windows_check.sh build-win

PREFIX ?= /usr/local
install: build
	DESTDIR="$(DESTDIR)" cmake --install build --prefix "$(PREFIX)" --strip

package: build
	cd build && cpack -G DEB

# The fuzz targets (fuzz/) in their own clang build; `make test` runs a short smoke run of each.
FUZZ_SECONDS ?= 60
FUZZ_PARALLEL ?= 2
fuzz-build:
	CC=clang CXX=clang++ cmake -S . -B build-fuzz $(GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVN_BUILD_FUZZ=ON \
		-DVN_BUILD_TESTS=OFF -DVN_BUILD_GUI=OFF
	cmake --build build-fuzz -j $(JOBS)

fuzz: setup fuzz-build
	bash scripts/fuzz.sh build-fuzz $(FUZZ_SECONDS) $(FUZZ_PARALLEL)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-release build-win build-win-full build-win-deps build-fuzz
