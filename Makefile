# Set-up, build, run and test on Debian 12 and 13. `make run` and `make test` do everything,
# installing what is missing first.

BUILD_DIR      ?= build
TEST_BUILD_DIR ?= build-test
TSAN_BUILD_DIR ?= build-tsan
FUZZ_BUILD_DIR ?= build-fuzz
JOBS           ?= $(shell nproc)
FUZZ_SECONDS   ?= 600
FUZZ_TEST_SECONDS ?= 15

.PHONY: deps build run test unit-test tsan-test fuzz-build fuzz-test fuzz test-debian13 bench clean

deps:
	@tools/install-deps.sh

build: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANE_TESTS=OFF
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/morvane

test: deps unit-test tsan-test fuzz-test

# Every test, under AddressSanitizer and UndefinedBehaviorSanitizer.
unit-test:
	cmake -S . -B $(TEST_BUILD_DIR) -DCMAKE_BUILD_TYPE=Debug -DMORVANE_SANITIZE=ON
	cmake --build $(TEST_BUILD_DIR) -j $(JOBS)
	ctest --test-dir $(TEST_BUILD_DIR) --output-on-failure -j $(JOBS) --timeout 300

# The threaded code once under ThreadSanitizer: the whole-program tests and the thread tests.
tsan-test:
	cmake -S . -B $(TSAN_BUILD_DIR) -DCMAKE_BUILD_TYPE=Debug -DMORVANE_TSAN=ON
	cmake --build $(TSAN_BUILD_DIR) -j $(JOBS)
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  ctest --test-dir $(TSAN_BUILD_DIR) --output-on-failure -j $(JOBS) --timeout 300 -L 'e2e|threads'

fuzz-build:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD_DIR) -DCMAKE_BUILD_TYPE=Debug -DMORVANE_FUZZ=ON -DMORVANE_TESTS=OFF
	cmake --build $(FUZZ_BUILD_DIR) -j $(JOBS)

# A short run of every fuzz target from the seed corpus, which reaches every picture decoder.
fuzz-test: fuzz-build
	@tools/run-fuzzers.sh $(FUZZ_BUILD_DIR) $(FUZZ_TEST_SECONDS)

# A long run of every fuzz target: FUZZ_SECONDS each.
fuzz: deps fuzz-build
	@tools/run-fuzzers.sh $(FUZZ_BUILD_DIR) $(FUZZ_SECONDS)

# `make test` from a fresh clone on Debian 13, in a chroot (root, debootstrap). DEBIAN13_ROOT
# names a chroot folder to make once and use again; without it a fresh one is made and removed.
test-debian13:
	tools/test-on-debian13.sh $(DEBIAN13_ROOT)

bench: deps
	cmake -S . -B $(BUILD_DIR)-bench -DCMAKE_BUILD_TYPE=Release -DMORVANE_TESTS=OFF -DMORVANE_BENCH=ON
	cmake --build $(BUILD_DIR)-bench -j $(JOBS)
	$(BUILD_DIR)-bench/bench/conversion_bench
	bench/idle_cost.sh $(BUILD_DIR)-bench

clean:
	rm -rf $(BUILD_DIR) $(TEST_BUILD_DIR) $(TSAN_BUILD_DIR) $(FUZZ_BUILD_DIR) $(BUILD_DIR)-bench
