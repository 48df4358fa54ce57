# Entry point for newcomers and CI: `make test` and `make run` set up everything they need.
BUILD      ?= build
SAN_BUILD  ?= build-sanitize
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 20
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_ARGS ?=

.PHONY: all setup build build-sanitize fuzz test test-fast run screenshots bench clean

all: build

setup:
	@bash scripts/setup.sh

build: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)
	cmake --build $(BUILD) -j $(JOBS)

build-sanitize: setup
	cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DZR7_SANITIZE=ON -DZR7_BUILD_BENCH=OFF $(CMAKE_ARGS)
	cmake --build $(SAN_BUILD) -j $(JOBS)

# The plain suite first, then the same suite under AddressSanitizer and UBSan, then a short
# fuzz run of the file readers.
test: build build-sanitize
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 120
	ctest --test-dir $(SAN_BUILD) --output-on-failure -j $(JOBS) --timeout 240
	$(MAKE) --no-print-directory fuzz

# Each fuzzer runs for a fixed time from a copy of its seed corpus, so the tree stays clean.
fuzz: setup
	CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZR7_FUZZ=ON \
	  -DZR7_BUILD_TESTS=OFF -DZR7_BUILD_BENCH=OFF $(CMAKE_ARGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target parsehex_fuzz project_load_fuzz
	@for f in parsehex project_load; do \
	  work=$(CURDIR)/$(FUZZ_BUILD)/corpus-$$f; rm -rf $$work; mkdir -p $$work; \
	  cp fuzz/corpus/$${f%_load}/* $$work/ 2>/dev/null || true; \
	  echo "fuzzing $$f for $(FUZZ_SECONDS) s"; \
	  $(FUZZ_BUILD)/$${f}_fuzz -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 \
	    -print_final_stats=1 $$work > $(FUZZ_BUILD)/$$f.log 2>&1 \
	    || { tail -n 60 $(FUZZ_BUILD)/$$f.log; exit 1; }; \
	  grep -E 'stat::number_of_executed_units|Done' $(FUZZ_BUILD)/$$f.log | tail -n 2; \
	done

test-fast: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 120

run: build
	@bash scripts/run.sh $(BUILD)

# Pictures of the desktop program, drawn off screen: $(BUILD)/screenshots/*.png.
screenshots: build
	$(BUILD)/zr7-screenshots $(BUILD)/screenshots examples/blink.zr7

# By hand, not in CI: timings on a shared machine are for people to read.
bench: build
	$(BUILD)/bench/zr7-bench
	$(BUILD)/bench/zr7-convert-bench
	$(BUILD)/bench/zr7-transfer-bench
	$(BUILD)/bench/zr7-transfer-bench autoprogram

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(FUZZ_BUILD)
