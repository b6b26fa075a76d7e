# Velotap: make demo | make test | make bench | make bench-latency | make bench-app | make fuzz
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS       ?= $(shell nproc)
# CI treats warnings as errors; local builds only warn.
WERROR     := $(if $(filter true,$(CI)),ON,OFF)

CMAKE_COMMON := -G Ninja -DVELOTAP_WERROR=$(WERROR)

.PHONY: all deps build test test-unit test-asan bench bench-latency bench-app bench-service fuzz fuzz-smoke demo screenshots install clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: test-unit test-asan

test-unit: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# Every test that needs no display, under AddressSanitizer and UBSan.
test-asan: deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Debug -DVELOTAP_SANITIZE=ON -DVELOTAP_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) -LE display

bench: build
	@if [ -x $(BUILD)/bench/velotap_bench ]; then $(BUILD)/bench/velotap_bench; else echo "no benchmarks built"; fi
	@$(MAKE) --no-print-directory bench-latency
	@$(MAKE) --no-print-directory bench-app
	@$(MAKE) --no-print-directory bench-service

# End to end under Xvfb: latency against the X path's own floor, CPU and memory
# per scenario, then a 60 s real-time replay (about 3 minutes in all).
# LATENCY_ARGS passes options, e.g. LATENCY_ARGS="--repeat 3 --no-replay".
bench-latency: build
	$(BUILD)/bench/velotap_latency $(LATENCY_ARGS)

# The application: start to status menu, and memory after a minute idle with touch running.
bench-app: build
	$(BUILD)/bench/velotap_app_footprint $(APP_BENCH_ARGS)

# velotap-service under 50 concurrent clients: reports/s, latency, lost reports.
bench-service: build
	$(BUILD)/bench/velotap_service_load

$(FUZZ_BUILD)/build.ninja: | deps
	CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVELOTAP_FUZZ=ON -DVELOTAP_SANITIZE=ON -DVELOTAP_BENCH=OFF

fuzz: deps $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@set -e; for f in $(FUZZ_BUILD)/fuzz/*Fuzz; do \
	  [ -x "$$f" ] || continue; \
	  echo "== $$f ($(FUZZ_SECONDS) s)"; \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$(basename $$f); \
	  $$f -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 $(FUZZ_BUILD)/corpus/$$(basename $$f) fuzz/corpus/$$(basename $$f); \
	done

fuzz-smoke:
	$(MAKE) fuzz FUZZ_SECONDS=10

# Builds only the program, so a first demo does not wait for every test.
demo: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target velotap
	$(BUILD)/app/velotap replay resources/samples/demo.hid --dry-run --set finger2MouseAction=5

# Pictures of the windows for the README, drawn offscreen.
screenshots: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target velotap-screenshots
	$(BUILD)/app/screenshots/velotap-screenshots resources/samples/demo.hid docs/screenshots

install: build
	cmake --install $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
