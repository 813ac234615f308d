# Entry points (`make help` lists them). `make test` installs what is missing,
# builds everything and runs every test (unit, fuzz, wine).
BUILD ?= build
FUZZ_RUNS_SCALE ?= 1

.PHONY: all help deps build test unit fuzz wine bench demo package format clean

all: build

help:
	@echo "make build     install what is missing (as root) and build everything into $(BUILD)/"
	@echo "make test      build, then run every test: unit, fuzz, wine (about 3 minutes); what cannot"
	@echo "               run here (no 32-bit support for Wine, no clang ...) is skipped with its reason"
	@echo "make unit      build, then only the unit tests (seconds)"
	@echo "make fuzz      build, then the fuzz replays and the libFuzzer runs (FUZZ_RUNS_SCALE=N for N times the runs)"
	@echo "make wine      build, then only the Wine tests"
	@echo "make demo      the main job: Demo.exe under Wine, screenshots and a report in out/demo/"
	@echo "               (DEMO_ARGS=\"--language en\": in English, German de or French fr, in out/demo-LANG/)"
	@echo "               (where Wine cannot run here: packed and verified only, exit 77)"
	@echo "make bench     the codec benchmark's figures"
	@echo "make package   the Debian package and the Windows zip, $(BUILD)/scrpack_*.deb and $(BUILD)/scrpack-*-windows-i686.zip"
	@echo "make format    format every C++ file in place (clang-format)"
	@echo "make clean     remove $(BUILD)/"

# What `deps` installs: each entry point asks for what it needs (make's
# target-specific values reach the prerequisites), scripts/setup.sh says.
SETUP_FOR ?= unit
test: SETUP_FOR = all
fuzz: SETUP_FOR = fuzz
wine demo: SETUP_FOR = wine

deps:
	@./scripts/setup.sh $(SETUP_FOR)

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DFUZZ_RUNS_SCALE=$(FUZZ_RUNS_SCALE)
	cmake --build $(BUILD) -j2

# CTest names the skipped tests; skipped-tests.sh adds each one's reason.
test: build
	@rc=0; ctest --test-dir $(BUILD) --output-on-failure -j2 || rc=$$?; \
	./scripts/skipped-tests.sh $(BUILD); exit $$rc

unit fuzz wine: build
	@rc=0; ctest --test-dir $(BUILD) --output-on-failure -j2 -L $@ || rc=$$?; \
	./scripts/skipped-tests.sh $(BUILD); exit $$rc

bench: build
	$(BUILD)/bench/codec_bench

package: build
	cmake --build $(BUILD) --target package

# The main job: Demo.exe packed and run under Wine, screenshots and a report
# in out/demo/. `make demo DEMO_ARGS="--language en"` for the installer in
# English (de, fr alike), in out/demo-en/. `make demo DEMO_ARGS=--interactive` to answer the prompts
# yourself on $$DISPLAY.
demo: build
	BUILD=$(BUILD) ./scripts/demo.sh $(DEMO_ARGS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
