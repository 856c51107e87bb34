# Thin wrapper around CMake. `make demo` and `make test` are the two commands the
# README promises; `make sanitize` runs the tests under ASan and UBSan.
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
# Seconds each fuzz harness runs in `make fuzz`.
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all configure build demo test sanitize fuzz clean

all: build

configure:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	@mkdir -p $(BUILD)/demo
	cp examples/demo.asm examples/*.inc $(BUILD)/demo/ 2>/dev/null || cp examples/demo.asm $(BUILD)/demo/
	cd $(BUILD)/demo && ../tools/zqasm --chip-dir ../chips -I . demo.asm; \
	  status=$$?; echo "Outputs are in $(BUILD)/demo/ (demo.LST, demo.OBJ, demo.ERR, ...)"; exit $$status

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

sanitize:
	cmake -S . -B $(ASAN_BUILD) -DZQASM_SANITIZE=ON -DZQASM_WERROR=ON $(CMAKE_FLAGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

# Builds the libFuzzer harnesses with clang and runs each for FUZZ_SECONDS; fails on any
# crash, leak, timeout or sanitizer report (see fuzz/run.sh).
fuzz:
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DZQASM_FUZZ=ON -DZQASM_BUILD_TESTS=OFF -DZQASM_BUILD_BENCH=OFF -DZQASM_WERROR=ON $(CMAKE_FLAGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
