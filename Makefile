# The two commands of the README: `make demo` and `make test`.
# CI (.ci/run) also runs `make test-sanitize` and `make lint`.
BUILD ?= build
JOBS ?= $(shell nproc)
DEMO ?= demo

.PHONY: all deps configure build test test-sanitize lint demo screenshots bench fuzz clean

all: build

deps:
	bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# Every test again, built with AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer in build-asan; any sanitizer report fails.
test-sanitize: deps
	JOBS=$(JOBS) bash scripts/test-sanitize.sh

# clang-tidy over every source file (.clang-tidy); any finding fails.
lint:
	bash scripts/install-deps.sh lint
	LINT_JOBS=$(JOBS) bash scripts/lint.sh

# Generates a sample collection of a few hundred games and runs a job on it.
demo: build
	rm -rf $(DEMO)
	$(BUILD)/tools/vqsd-sample --out $(DEMO)/collection --seed 64 --games 400
	$(BUILD)/cli/vqsd --source $(DEMO)/collection/games --dest $(DEMO)/sd \
	  --hvsc $(DEMO)/collection/hvsc --style sd2iec --autoswap --t64 --replace
	@echo "Output tree: $(DEMO)/sd"

screenshots: build
	QT_QPA_PLATFORM=offscreen $(BUILD)/tools/vqsd-screenshots $(BUILD)

bench: build
	bash bench/run.sh $(BUILD)

fuzz:
	bash fuzz/run.sh

clean:
	rm -rf $(BUILD) $(DEMO) build-asan build-tidy
