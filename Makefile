# make test  - set-up, sanitizer build, every test through ctest
# make demo  - set-up, build, the main job on generated sample discs
# make bench - set-up, Release build, benchmarks against the usual tools
JOBS ?= $(shell nproc)
GEN := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: all setup build test demo bench format clean

all: build

setup:
	bash scripts/setup.sh

build: setup
	cmake -S . -B build $(GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVN_BUILD_TESTS=OFF
	cmake --build build -j $(JOBS)

test: setup
	cmake -S . -B build-asan $(GEN) -DCMAKE_BUILD_TYPE=Debug -DVN_SANITIZE=ON -DVN_BUILD_TESTS=ON
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

demo: build
	bash scripts/demo.sh build

bench: setup
	cmake -S . -B build-release $(GEN) -DCMAKE_BUILD_TYPE=Release -DVN_BUILD_TESTS=OFF -DVN_BUILD_BENCH=ON
	cmake --build build-release -j $(JOBS)
	bash bench/run.sh build-release

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-release
