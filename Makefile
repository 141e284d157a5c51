# What a person types. CMake does the building; ctest runs the tests.
BUILD      ?= build
BUILD_ASAN ?= build-asan
BUILD_COVERAGE ?= build-coverage
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_ARGS ?=

.PHONY: all deps build demo test test-asan coverage bench clean

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

# Line and branch coverage per folder, from the whole suite run unoptimised.
coverage: deps
	@scripts/install-deps coverage
	cmake -S . -B $(BUILD_COVERAGE) -DZEF_COVERAGE=ON -DZEF_BENCH=OFF $(CMAKE_ARGS) >/dev/null
	cmake --build $(BUILD_COVERAGE) -j $(JOBS)
	find $(BUILD_COVERAGE) -name '*.gcda' -delete
	ctest --test-dir $(BUILD_COVERAGE) --output-on-failure -j $(JOBS)
	scripts/coverage-report $(BUILD_COVERAGE)

bench: build
	$(BUILD)/bench_store

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_COVERAGE)
