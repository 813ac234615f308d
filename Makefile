# Entry points. `make test` installs what is missing, builds everything and
# runs every test (unit, layout, fuzzers for a fixed number of runs, Wine).
BUILD ?= build

.PHONY: all test deps build bench clean

all: build

deps:
	@./scripts/setup.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j2

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j2

bench: build
	$(BUILD)/bench/codec_bench

clean:
	rm -rf $(BUILD)
