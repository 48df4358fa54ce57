# Entry point for newcomers and CI: `make test` and `make run` set up everything they need.
BUILD      ?= build
SAN_BUILD  ?= build-sanitize
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_ARGS ?=

.PHONY: all setup build build-sanitize test test-fast run bench clean

all: build

setup:
	@bash scripts/setup.sh

build: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)
	cmake --build $(BUILD) -j $(JOBS)

build-sanitize: setup
	cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DZR7_SANITIZE=ON -DZR7_BUILD_BENCH=OFF $(CMAKE_ARGS)
	cmake --build $(SAN_BUILD) -j $(JOBS)

# The plain suite first, then the same suite under AddressSanitizer and UBSan.
test: build build-sanitize
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 120
	ctest --test-dir $(SAN_BUILD) --output-on-failure -j $(JOBS) --timeout 240

test-fast: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 120

run: build
	@bash scripts/run.sh $(BUILD)

bench: build
	$(BUILD)/bench/zr7-bench

clean:
	rm -rf $(BUILD) $(SAN_BUILD)
