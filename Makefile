# make        builds build/sudoku2
# make run    builds it and runs it on examples/easy.txt in a scratch folder
# make test   builds and runs every test, then the unit tests under ASan+UBSan
BUILD      := build
ASAN_BUILD := build-asan
EXAMPLE    ?= examples/easy.txt
SCRATCH    := run
JOBS       := $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps run test unit asan format tidy clean bench

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

asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DSUDOKU2_SANITIZE=ON >/dev/null
	cmake --build $(ASAN_BUILD) -j $(JOBS)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

tidy: all
	clang-tidy -p $(BUILD) --quiet $$(git ls-files 'src/*.cpp' 'tests/*.cpp' 'bench/*.cpp')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(SCRATCH)

bench: all
	$(BUILD)/bench/terminal_bench $(BUILD)/sudoku2
