# The two set-up commands: `make demo` and `make test`. Each installs what is
# missing, configures and builds.
JOBS ?= $(shell nproc)
BUILD ?= build
CMAKE_FLAGS ?=

.PHONY: deps build test test-sanitize demo bench fuzz clean

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)

test: build test-sanitize
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

# The core's tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DWB_CORE_ONLY=ON \
	  -DWB_SANITIZE=address,undefined >/dev/null
	@cmake --build build-asan -j$(JOBS)
	ctest --test-dir build-asan --output-on-failure -j$(JOBS)

demo: build
	@scripts/demo

bench: deps
	@cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build-release -j$(JOBS) --target wembrastel_bench
	@build-release/wembrastel_bench

clean:
	rm -rf build build-asan build-release

# Fuzz targets with libFuzzer (clang), AddressSanitizer and UBSan; each runs
# FUZZ_SECONDS (default 60).
fuzz: deps
	@scripts/fuzz
