# Thin wrapper around CMake. `make demo` and `make test` are the two commands the
# README promises; `make sanitize` runs the tests under ASan and UBSan.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all configure build demo test sanitize clean

all: build

configure:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	@mkdir -p $(BUILD)/demo
	cp examples/demo.asm examples/banked.asm $(BUILD)/demo/
	cp examples/*.inc $(BUILD)/demo/ 2>/dev/null || true
	cd $(BUILD)/demo && ../tools/zqasm --chip-dir ../chips -I . --table-top 0FFh demo.asm && \
	  ../tools/zqasm --chip-dir ../chips -I . --rom-top 2FFFh banked.asm; \
	  status=$$?; echo "Outputs are in $(BUILD)/demo/ (demo.LST, banked.LST, demo.OBJ, ...)"; exit $$status

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

sanitize:
	cmake -S . -B $(ASAN_BUILD) -DZQASM_SANITIZE=ON -DZQASM_WERROR=ON $(CMAKE_FLAGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
