# The two set-up commands: `make demo` and `make test`. Each installs what is
# missing, configures and builds.
JOBS ?= $(shell nproc)
MAKEFLAGS += --no-print-directory
BUILD ?= build
CMAKE_FLAGS ?=

.PHONY: deps configure build test test-sanitize test-thread demo web bench fuzz coverage clean

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

# The programs, the demo module and the manual pages; the tests and the
# benchmark are built by `make test`.
build: configure
	@cmake --build $(BUILD) -j$(JOBS)

test: build test-sanitize
	@cmake --build $(BUILD) -j$(JOBS) --target wb_tests
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

# The core's tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DWB_CORE_ONLY=ON \
	  -DWB_SANITIZE=address,undefined >/dev/null
	@cmake --build build-asan -j$(JOBS) --target all wb_tests
	ctest --test-dir build-asan --output-on-failure -j$(JOBS)

# The player's and the sound output's tests under ThreadSanitizer (the
# window thread drives the player while the output thread renders), and the
# C API's (players on two threads). Any
# report fails the run; tests/tsan.supp lists what is not ours.
TSAN_RUN = TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tests/tsan.supp" \
  SDL_AUDIODRIVER=dummy QT_QPA_PLATFORM=offscreen
test-thread: deps
	@cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWB_SANITIZE=thread >/dev/null
	@cmake --build build-tsan -j$(JOBS) --target test_player test_audio test_c_api
	$(TSAN_RUN) build-tsan/test_player --gtest_brief=1
	$(TSAN_RUN) build-tsan/test_audio --gtest_brief=1
	$(TSAN_RUN) build-tsan/test_c_api tests/data/small.q7m

# Only what the demo needs: the two programs and the demo module.
demo: configure
	@cmake --build $(BUILD) -j$(JOBS) --target q7m wembrastel demo_module
	@scripts/demo

# The browser player built into build-web/ and served on the loopback.
web: configure
	@cmake --build $(BUILD) -j$(JOBS) --target demo_module
	@BUILD=$(BUILD) scripts/build-web build-web
	@echo "The player: http://127.0.0.1:8000/ (Ctrl-C stops the server)"
	@python3 -m http.server 8000 --bind 127.0.0.1 --directory build-web

bench: deps
	@cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build-release -j$(JOBS) --target wembrastel_bench
	@WB_STRESS_MODULE=build-release/stress.q7m build-release/wembrastel_bench
	@if command -v em++ >/dev/null && command -v node >/dev/null; then \
	  BUILD=build-release scripts/build-web build-release/web && \
	  node bench/wasm_render.mjs build-release/web build-release/stress.q7m; fi

# Line coverage of player/ and synth/ (gcovr): by the golden renders alone,
# then by the whole suite (without the busy-machine playback runs, which
# load every core for minutes). A Debug build with --coverage in build-coverage.
# Threads that share a counter (the frame crew, tests run side by side) can
# leave gcov a negative branch count; gcovr skips such lines.
GCOVR = gcovr -r . --object-directory build-coverage --filter 'player/' --filter 'synth/' --gcov-ignore-parse-errors
coverage: deps
	@cmake -S . -B build-coverage -DCMAKE_BUILD_TYPE=Debug -DWB_CORE_ONLY=OFF \
	  -DCMAKE_CXX_FLAGS=--coverage -DCMAKE_EXE_LINKER_FLAGS=--coverage >/dev/null
	@cmake --build build-coverage -j$(JOBS) --target all wb_tests
	@find build-coverage -name '*.gcda' -delete
	@build-coverage/test_golden --gtest_brief=1 >/dev/null
	@echo "== player/ and synth/ covered by the golden renders alone"
	@$(GCOVR) --print-summary -o build-coverage/golden-coverage.txt
	@ctest --test-dir build-coverage -j$(JOBS) -E BusyPlayback >/dev/null || echo "(some tests failed)"
	@echo "== player/ and synth/ covered by the whole suite"
	@$(GCOVR) --print-summary

clean:
	rm -rf build build-asan build-release build-tsan build-fuzz build-coverage build-web

# Fuzz targets with libFuzzer (clang), AddressSanitizer and UBSan; each runs
# FUZZ_SECONDS (default 60).
fuzz: deps
	@scripts/fuzz
