# Thin wrapper around CMake. `make demo` and `make test` are the two commands the
# README promises; `make sanitize` runs the tests under ASan and UBSan.
BUILD ?= build
ASAN_BUILD ?= build-asan
WIN_BUILD ?= build-windows
WIN32_BUILD ?= $(WIN_BUILD)/i686
FUZZ_BUILD ?= build-fuzz
PLAYGROUND_BUILD ?= build-playground
# Seconds each fuzz harness runs in `make fuzz`.
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all configure build demo test install bench sanitize windows windows-test fuzz clean \
	playground playground-test

all: build

configure:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The demo needs the library, the tool and the chips only; `make test` builds the rest.
demo: configure
	cmake --build $(BUILD) -j $(JOBS) --target zqasm_cli chips
	@mkdir -p $(BUILD)/demo
	cp examples/demo.asm examples/banked.asm $(BUILD)/demo/
	cp examples/*.inc $(BUILD)/demo/ 2>/dev/null || true
	cd $(BUILD)/demo && ../tools/zqasm --chip-dir ../chips -I . --table-top 0FFh demo.asm && \
	  ../tools/zqasm --chip-dir ../chips -I . --rom-top 2FFFh banked.asm; \
	  status=$$?; echo "Outputs are in $(BUILD)/demo/ (demo.LST, banked.LST, demo.OBJ, ...)"; exit $$status

# Configure leaves the tests out without googletest; then there is nothing to run.
test: build
	@test -f $(BUILD)/tests/CTestTestfile.cmake || \
	  { echo "make test: the tests are not configured: install googletest (libgtest-dev)"; exit 1; }
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Installs programs, libraries, headers, chips, man pages, zqasm.pc and the CMake package
# under PREFIX, the programs and libraries stripped of their debug information.
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX) --strip

# Ir (callgrind) and wall time of the generated benchmark programs; see bench/README.md.
bench: build
	python3 bench/run_bench.py $(BUILD)
	python3 bench/diagnostics_bench.py $(BUILD)
	python3 bench/lsp_bench.py $(BUILD)
	python3 bench/playground_bench.py $(BUILD) $(PLAYGROUND_BUILD)

sanitize:
	cmake -S . -B $(ASAN_BUILD) -DZQASM_SANITIZE=ON -DZQASM_WERROR=ON $(CMAKE_FLAGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

# Windows: zqasm.dll and zqasm.exe (x86-64) in $(WIN_BUILD), and a 32-bit zqasm.dll in
# $(WIN32_BUILD), cross-compiled with mingw-w64. Each DLL must export what src/exports.def lists
# and need nothing but system DLLs. The chip files, compiled by the native build, go to
# $(WIN_BUILD)/chips beside zqasm.exe, where it looks for them.
windows: configure
	cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake $(CMAKE_FLAGS)
	cmake --build $(WIN_BUILD) -j $(JOBS)
	cmake --build $(BUILD) -j $(JOBS) --target chips
	@mkdir -p $(WIN_BUILD)/chips
	cp $(BUILD)/chips/*.COE $(WIN_BUILD)/chips/
	cmake -S . -B $(WIN32_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake $(CMAKE_FLAGS)
	cmake --build $(WIN32_BUILD) -j $(JOBS) --target zqasm_shared
	tests/windows/check_dll.sh i686-w64-mingw32-objdump $(WIN32_BUILD)/zqasm.dll

# The host program under wine over every end-to-end case; the chip files come from the
# native build.
windows-test: build windows
	tests/windows/check_dll.sh x86_64-w64-mingw32-objdump $(WIN_BUILD)/zqasm.dll
	tests/windows/run_cases.sh $(WIN_BUILD) $(BUILD)/chips

# Builds the libFuzzer harnesses with clang and runs each for FUZZ_SECONDS; fails on any
# crash, leak, timeout or sanitizer report (see fuzz/run.sh).
fuzz:
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DZQASM_FUZZ=ON -DZQASM_BUILD_TESTS=OFF -DZQASM_BUILD_BENCH=OFF -DZQASM_WERROR=OFF $(CMAKE_FLAGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The playground: the library and the command line compiled to WebAssembly with Debian's
# emscripten, $(PLAYGROUND_BUILD)/zqasm.js for Node and the static site
# $(PLAYGROUND_BUILD)/site. The chip files come from the native build; the page is bundled
# with the npm packages of playground/ (see playground/build.sh).
playground: configure
	cmake --build $(BUILD) -j $(JOBS) --target zqasm_cli chips
	playground/build.sh $(BUILD) $(PLAYGROUND_BUILD) $(JOBS)

# The Node build against the native one, then the page in headless Chromium; each part
# says so and is skipped where emscripten or chromium is missing.
playground-test: configure
	cmake --build $(BUILD) -j $(JOBS) --target zqasm_cli chips
	playground/test/run.sh $(BUILD) $(PLAYGROUND_BUILD) $(JOBS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(WIN_BUILD) $(FUZZ_BUILD) $(PLAYGROUND_BUILD)
