# make test  - set-up, sanitizer build, every test through ctest
# make demo  - set-up, build, the main job on generated sample discs
# make bench - set-up, Release build, benchmarks against the usual tools
# make windows - set-up, vnsetup.exe and vnkit.exe for 32- and 64-bit Windows (mingw-w64; libjpeg and
#                libpng built from Debian sources), in build-win32 and build-win
# make windows-check - the Windows programs' checks, run under Wine and Xvfb
# make windows-demo - the sample disc set with the Windows launcher, installed, played, uninstalled under Wine
# make fuzz - set-up, the libFuzzer targets (clang) run FUZZ_SECONDS each (FUZZ_PARALLEL at a time)
# make install - build, then install vnsetup, vnkit, the desktop entry and the icon (PREFIX, DESTDIR)
# make package - build, then a Debian package of the same (build/vnsetup_*.deb)
JOBS ?= $(shell nproc)
GEN := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: all setup build test demo bench windows windows-build windows-build32 windows-full windows-check windows-demo format clean install package \
	fuzz fuzz-build

all: build

setup:
	bash scripts/setup.sh

build: setup
	cmake -S . -B build $(GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVN_BUILD_TESTS=OFF
	cmake --build build -j $(JOBS)

test: setup
	cmake -S . -B build-asan $(GEN) -DCMAKE_BUILD_TYPE=Debug -DVN_SANITIZE=ON -DVN_BUILD_TESTS=ON
	cmake --build build-asan -j $(JOBS)
	$(MAKE) --no-print-directory windows-build windows-build32
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
	bash scripts/windows_check.sh --linux-build build-asan build-win build-win32
	$(MAKE) --no-print-directory fuzz-build
	cd build-fuzz && ctest --output-on-failure -j $(JOBS)

demo: build
	bash scripts/demo.sh build

bench: setup
	cmake -S . -B build-release $(GEN) -DCMAKE_BUILD_TYPE=Release -DVN_BUILD_TESTS=OFF -DVN_BUILD_BENCH=ON
	cmake --build build-release -j $(JOBS)
	bash bench/run.sh build-release

# The Windows builds: vnsetup.exe and vnkit.exe, statically linked, Release, stripped; the 64-bit one
# with the program that checks the Windows backend (tests/windows). Debian has no mingw libjpeg or
# libpng: scripts/mingw_imaging.sh builds them from Debian's source packages first. A POSIX call that
# leaks into a shared layer breaks the build, so `make test` runs it and the checks under Wine.
WINDOWS_FLAGS = $(GEN) -DCMAKE_BUILD_TYPE=Release -DVN_BUILD_GUI=OFF -DVN_BUILD_TESTS=OFF
windows: setup windows-build windows-build32

windows-build:
	bash scripts/mingw_imaging.sh build-win-deps x86_64
	cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
		-DCMAKE_PREFIX_PATH=$(CURDIR)/build-win-deps/x86_64 $(WINDOWS_FLAGS) -DVN_WINDOWS_CHECK=ON
	cmake --build build-win -j $(JOBS)
	@stat -c '%n: %s bytes' build-win/app/vnsetup.exe build-win/tools/vnkit/vnkit.exe

windows-build32:
	bash scripts/mingw_imaging.sh build-win-deps i686
	cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
		-DCMAKE_PREFIX_PATH=$(CURDIR)/build-win-deps/i686 $(WINDOWS_FLAGS)
	cmake --build build-win32 -j $(JOBS) --target vnsetup vnkit sample_program
	@stat -c '%n: %s bytes' build-win32/app/vnsetup.exe build-win32/tools/vnkit/vnkit.exe

windows-full: windows

windows-check: windows
	cmake -S . -B build-asan $(GEN) -DCMAKE_BUILD_TYPE=Debug -DVN_SANITIZE=ON -DVN_BUILD_TESTS=ON
	cmake --build build-asan -j $(JOBS) --target vnkit
	bash scripts/windows_check.sh --linux-build build-asan build-win build-win32

windows-demo: setup windows-build
	cmake -S . -B build $(GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVN_BUILD_TESTS=OFF
	cmake --build build -j $(JOBS) --target vnkit
	bash scripts/windows_demo.sh build build-win

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
	rm -rf build build-asan build-release build-win build-win32 build-win-deps build-fuzz
