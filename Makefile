# make        builds build/sudoku2
# make run    builds it and runs it on examples/easy.txt in a scratch folder
# make test   builds and runs every test, then the unit tests under ASan+UBSan
# make fuzz   runs each fuzz target for FUZZ_SECONDS (default 60)
BUILD      := build
ASAN_BUILD := build-asan
EXAMPLE    ?= examples/easy.txt
SCRATCH    := run
JOBS       := $(shell nproc 2>/dev/null || echo 2)

FUZZ_BUILD := build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := puzzle valunsignedint line_reader key_decoder

.PHONY: all deps run test unit asan format tidy clean bench fuzz fuzz-build fuzz-minimize

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
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(SCRATCH)

bench: all
	$(BUILD)/bench/terminal_bench $(BUILD)/sudoku2

# make install [PREFIX=/usr/local] [DESTDIR=staging]: bin/sudoku2 and
# share/man/man1/sudoku2.1, through the build's own install rules.
PREFIX ?= /usr/local
.PHONY: install
install: all
	DESTDIR='$(DESTDIR)' cmake --install $(BUILD) --prefix '$(PREFIX)'

# Runs each fuzz target for FUZZ_SECONDS. New inputs gather in
# $(FUZZ_BUILD)/corpus/<target>; a crash is saved in $(FUZZ_BUILD)/ and
# stops the run. Copy an input worth keeping into tests/fuzz/corpus/<target>,
# where every `make test` replays it.
fuzz: fuzz-build
	@for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(CURDIR)/$(FUZZ_BUILD)/corpus/$$t; \
	  echo "== $$t: $(FUZZ_SECONDS) s"; \
	  $(CURDIR)/$(FUZZ_BUILD)/tests/fuzz/$${t}_fuzz -max_total_time=$(FUZZ_SECONDS) \
	    -artifact_prefix=$(CURDIR)/$(FUZZ_BUILD)/$$t- -print_final_stats=1 \
	    $(CURDIR)/$(FUZZ_BUILD)/corpus/$$t $(CURDIR)/tests/fuzz/corpus/$$t || exit 1; \
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
