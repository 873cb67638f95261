# make build | test | demo | bench | clean. Every target installs what it needs first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
CMAKE_ARGS ?= -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all bootstrap build test test-unit test-asan demo bench clean

all: build

bootstrap:
	@scripts/bootstrap

build: bootstrap
	@cmake -S . -B $(BUILD) $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BUILD)

test-unit: build
	@cd $(BUILD) && ctest --output-on-failure -j2

test-asan: bootstrap
	@cmake -S . -B $(ASAN_BUILD) $(CMAKE_ARGS) -DTABRIX_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD)
	@cd $(ASAN_BUILD) && ctest --output-on-failure -j2

# The whole suite, then once more under AddressSanitizer and UndefinedBehaviorSanitizer.
test: test-unit test-asan

demo: build
	@scripts/demo $(BUILD)

bench: bootstrap
	@cmake -S . -B $(BUILD)-bench $(CMAKE_ARGS) -DCMAKE_BUILD_TYPE=Release -DTABRIX_BENCH=ON >/dev/null
	@cmake --build $(BUILD)-bench --target tabrix_bench
	@bench/compare $(BUILD)-bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BUILD)-bench
