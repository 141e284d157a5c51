# What a person types. CMake does the building; ctest runs the tests.
BUILD      ?= build
BUILD_ASAN ?= build-asan
BUILD_RELEASE ?= build-release
BUILD_FUZZ ?= build-fuzz
BUILD_COVERAGE ?= build-coverage
FUZZ_SECONDS ?= 180
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_ARGS ?=

.PHONY: all deps build demo test test-asan test-release coverage bench bench-guard fuzz fuzz-build fuzz-replay clean

all: build

# Installs what a fresh machine lacks (quiet when nothing does).
deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_ARGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	./zefcat/demo.sh $(BUILD)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(BUILD_ASAN) -DZEF_SANITIZE=ON -DZEF_BENCH=OFF $(CMAKE_ARGS) >/dev/null
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(BUILD_ASAN) --output-on-failure -j $(JOBS)

# A packager's optimised build (-O3), which must pass -Werror too.
test-release: deps
	cmake -S . -B $(BUILD_RELEASE) -DCMAKE_BUILD_TYPE=Release $(CMAKE_ARGS) >/dev/null
	cmake --build $(BUILD_RELEASE) -j $(JOBS)
	ctest --test-dir $(BUILD_RELEASE) --output-on-failure -j $(JOBS)

# Line and branch coverage per folder, from the whole suite run unoptimised.
coverage: deps
	@scripts/install-deps coverage
	cmake -S . -B $(BUILD_COVERAGE) -DZEF_COVERAGE=ON -DZEF_BENCH=OFF $(CMAKE_ARGS) >/dev/null
	cmake --build $(BUILD_COVERAGE) -j $(JOBS)
	find $(BUILD_COVERAGE) -name '*.gcda' -delete
	ctest --test-dir $(BUILD_COVERAGE) --output-on-failure -j $(JOBS)
	scripts/coverage-report $(BUILD_COVERAGE)

# Every layer of the data path against its plain alternative, one table of
# ratios (bench/data_path_bench.cc; ZEF_BENCH_SCALE and ZEF_BENCH_RUNS size it).
bench: build
	$(BUILD)/bench_data_path

# A tenth of the sizes; fails only when a ratio falls far below its goal.
bench-guard: build
	$(BUILD)/bench_data_path --guard

# libFuzzer targets (fuzz/): clang, every part built with ASan and UBSan.
fuzz-build:
	@scripts/install-deps fuzz
	CC=clang CXX=clang++ cmake -S . -B $(BUILD_FUZZ) -DZEF_FUZZ=ON -DZEF_BENCH=OFF $(CMAKE_ARGS) >/dev/null
	cmake --build $(BUILD_FUZZ) -j $(JOBS) --target fuzz_targets

# Each target for FUZZ_SECONDS on a working copy of its seed corpus.
fuzz: fuzz-build
	FUZZ_SECONDS=$(FUZZ_SECONDS) fuzz/run.sh fuzz $(BUILD_FUZZ)

# What CI runs: the seed corpora and regression inputs, then a short fixed pass.
fuzz-replay: fuzz-build
	fuzz/run.sh replay $(BUILD_FUZZ)

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_RELEASE) $(BUILD_FUZZ) $(BUILD_COVERAGE)
