# make        builds build/sudoku2
# make run    builds it and runs it on examples/easy.txt in a scratch folder
# make test   builds and runs every native test, then the unit tests under ASan+UBSan
# make test-all      make test, then the Windows tests under Wine and the
#                    aarch64 tests under qemu (what CI runs)
# make fuzz   runs each fuzz target for FUZZ_SECONDS (default 60)
# make windows       cross-builds build-win/sudoku2.exe and its tests (mingw-w64)
# make test-windows  runs the Windows tests under Wine
# make bench-windows the Win32 console benchmark under Wine
# make aarch64       cross-builds build-arm/sudoku2 for 64-bit ARM Linux and its tests
# make test-aarch64  runs them under qemu, and the report tests on a build whose
#                    return addresses are signed (build-arm-pac)
BUILD      := build
WIN_BUILD  := build-win
ASAN_BUILD := build-asan
ARM_BUILD  := build-arm
ARM_PAC_BUILD := build-arm-pac
EXAMPLE    ?= examples/easy.txt
SCRATCH    := run
JOBS       := $(shell nproc 2>/dev/null || echo 2)

FUZZ_BUILD := build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := puzzle valunsignedint line_reader key_decoder

.PHONY: all deps run test unit asan format tidy clean bench fuzz fuzz-build fuzz-minimize \
        windows deps-windows test-windows bench-windows test-all \
        aarch64 deps-aarch64 test-aarch64

all: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

deps:
	@./scripts/deps.sh

run: all
	mkdir -p $(SCRATCH)
	cp $(EXAMPLE) '$(SCRATCH)/c:\in.txt'
	cd $(SCRATCH) && ../$(BUILD)/sudoku2

test: all asan
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS) -L unit

test-all: test test-windows test-aarch64

windows: deps-windows
	cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(WIN_BUILD) -j $(JOBS)

deps-windows:
	@./scripts/deps-windows.sh

test-windows: windows
	cd $(WIN_BUILD) && ctest --output-on-failure -j $(JOBS)

ARM_CONFIGURE = -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo

aarch64: deps-aarch64
	cmake -S . -B $(ARM_BUILD) $(ARM_CONFIGURE) >/dev/null
	cmake --build $(ARM_BUILD) -j $(JOBS)

deps-aarch64:
	@./scripts/deps-aarch64.sh

# The whole suite under qemu; then the report's tests again on a build with
# signed return addresses, whose reports must show plain code offsets.
test-aarch64: aarch64
	cd $(ARM_BUILD) && ctest --output-on-failure -j $(JOBS)
	cmake -S . -B $(ARM_PAC_BUILD) $(ARM_CONFIGURE) \
	  -DCMAKE_CXX_FLAGS=-mbranch-protection=standard >/dev/null
	cmake --build $(ARM_PAC_BUILD) -j $(JOBS) --target sudoku2 fault_program
	cd $(ARM_PAC_BUILD) && ctest --output-on-failure -R '^e2e_process$$'

asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DSUDOKU2_SANITIZE=ON >/dev/null
	cmake --build $(ASAN_BUILD) -j $(JOBS)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

# Windows-only sources are checked against the cross build, with clang
# pointed at mingw-w64's headers.
WIN_ONLY := ^src/platform/win32/|^tests/windows/|^bench/win32_
MINGW_GCC_DIR = $(dir $(shell x86_64-w64-mingw32-g++-posix -print-libgcc-file-name))
MINGW_TIDY_ARGS = --extra-arg=--target=x86_64-w64-mingw32 \
  --extra-arg=-isystem$(MINGW_GCC_DIR)include/c++ \
  --extra-arg=-isystem$(MINGW_GCC_DIR)include/c++/x86_64-w64-mingw32 \
  --extra-arg=-isystem/usr/x86_64-w64-mingw32/include

tidy: all windows
	clang-tidy -p $(BUILD) --quiet \
	  $$(git ls-files 'src/*.cpp' 'tests/*.cpp' 'bench/*.cpp' | grep -Ev '$(WIN_ONLY)')
	clang-tidy -p $(WIN_BUILD) --quiet $(MINGW_TIDY_ARGS) \
	  $$(git ls-files 'src/*.cpp' 'tests/*.cpp' 'bench/*.cpp' | grep -E '$(WIN_ONLY)')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(WIN_BUILD) $(ARM_BUILD) $(ARM_PAC_BUILD) \
	  $(SCRATCH)

bench: all
	@./scripts/deps.sh bench
	$(BUILD)/bench/terminal_bench $(BUILD)/sudoku2

# make install [PREFIX=/usr/local] [DESTDIR=staging]: bin/sudoku2 and
# share/man/man1/sudoku2.1, through the build's own install rules.
PREFIX ?= /usr/local
.PHONY: install
install: all
	DESTDIR='$(DESTDIR)' cmake --install $(BUILD) --prefix '$(PREFIX)'

bench-windows: windows
	cd $(WIN_BUILD)/bench && ../../cmake/wine-run ./win32_console_bench.exe \
	  "$(CURDIR)/$(WIN_BUILD)/sudoku2.exe" 2>&1 | cat

# Runs each fuzz target for FUZZ_SECONDS. New inputs gather in
# $(FUZZ_BUILD)/corpus/<target>; a crash is saved in $(FUZZ_BUILD)/ and
# stops the run. Copy an input worth keeping into tests/fuzz/corpus/<target>,
# where every `make test` replays it.
fuzz: fuzz-build
	@for t in $(FUZZ_TARGETS); do \
	  mkdir -p "$(CURDIR)/$(FUZZ_BUILD)/corpus/$$t"; \
	  echo "== $$t: $(FUZZ_SECONDS) s"; \
	  "$(CURDIR)/$(FUZZ_BUILD)/tests/fuzz/$${t}_fuzz" -max_total_time=$(FUZZ_SECONDS) \
	    -artifact_prefix="$(CURDIR)/$(FUZZ_BUILD)/$$t-" -print_final_stats=1 \
	    "$(CURDIR)/$(FUZZ_BUILD)/corpus/$$t" "$(CURDIR)/tests/fuzz/corpus/$$t" || exit 1; \
	done

# Shrinks each saved corpus to the fewest inputs that keep all its coverage.
fuzz-minimize: fuzz-build
	@for t in $(FUZZ_TARGETS); do \
	  rm -rf $(FUZZ_BUILD)/minimized/$$t && mkdir -p $(FUZZ_BUILD)/minimized/$$t; \
	  $(FUZZ_BUILD)/tests/fuzz/$${t}_fuzz -set_cover_merge=1 \
	    $(FUZZ_BUILD)/minimized/$$t tests/fuzz/corpus/$$t > $(FUZZ_BUILD)/minimize-$$t.log 2>&1 \
	    || exit 1; \
	  echo "$$t: $$(ls $(FUZZ_BUILD)/minimized/$$t | wc -l) inputs"; \
	  rm -rf tests/fuzz/corpus/$$t && mv $(FUZZ_BUILD)/minimized/$$t tests/fuzz/corpus/$$t; \
	done

fuzz-build:
	@./scripts/deps.sh fuzz
	CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSUDOKU2_FUZZ=ON >/dev/null
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
