# Entry points. `make test` installs what is missing, builds everything and
# runs every test (unit, layout, fuzzers for a fixed number of runs, Wine).
BUILD ?= build

.PHONY: all test deps build bench demo clean

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

# The main job: Demo.exe packed and run under Wine, screenshots and a report
# in out/demo/. `make demo DEMO_ARGS=--interactive` to answer the prompts
# yourself on $$DISPLAY.
demo: build
	BUILD=$(BUILD) ./scripts/demo.sh $(DEMO_ARGS)

clean:
	rm -rf $(BUILD)
