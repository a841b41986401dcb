# The two commands of the README: `make demo` and `make test`.
# CI (.ci/run) also runs `make test-sanitize`, `make lint` and `make fuzz-ci`.
BUILD ?= build
JOBS ?= $(shell nproc)
DEMO ?= demo
# The release build that `make install` and `make package` use.
RELEASE ?= build-release
PREFIX ?= /usr/local
DESTDIR ?=
# Hardening of the installed programs, as Debian builds its packages.
RELEASE_CXXFLAGS ?= -D_FORTIFY_SOURCE=2 -fstack-protector-strong
RELEASE_LDFLAGS ?= -Wl,-z,relro -Wl,-z,now
# The build on PCRE2 that `make test-pcre2` uses.
PCRE2_BUILD ?= build-pcre2

.PHONY: all deps configure build test test-sanitize lint demo screenshots bench fuzz fuzz-ci clean
.PHONY: release install package check-install check-package test-pcre2

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

# The libFuzzer harnesses (fuzz/run.sh), five minutes each.
fuzz:
	JOBS=$(JOBS) bash fuzz/run.sh

# Every harness for a minute from its seeds, as CI runs them; a crash fails.
fuzz-ci:
	JOBS=$(JOBS) bash fuzz/run.sh 60

# The two programs as a release build, with the icons and manual pages (and
# nothing else: installing and packaging do not build the other targets).
release: deps
	cmake -S . -B $(RELEASE) -DCMAKE_BUILD_TYPE=Release -DVQ_BUILD_TESTS=OFF \
	  -DCMAKE_INSTALL_PREFIX=$(PREFIX) -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
	  -DCMAKE_CXX_FLAGS="$(RELEASE_CXXFLAGS)" -DCMAKE_EXE_LINKER_FLAGS="$(RELEASE_LDFLAGS)"
	cmake --build $(RELEASE) -j $(JOBS) --target vqsd vqsd-gui vqsd_data

# Installs into $(DESTDIR)$(PREFIX), the programs stripped.
install: release
	DESTDIR="$(DESTDIR)" cmake --install $(RELEASE) --strip

# The Debian package, in $(RELEASE)/package/.
package: release
	cd $(RELEASE) && cpack -G DEB

# Installs into a temporary folder and checks every file and its validator.
check-install: release
	bash scripts/check-install.sh $(RELEASE)

# The Debian package, checked by lintian (errors fail).
check-package: package
	lintian --fail-on error --display-info $(RELEASE)/package/vqsd_*.deb

# The whole suite on a build with PCRE2 (the desktop program left out: it
# runs no pattern of its own).
test-pcre2: deps
	cmake -S . -B $(PCRE2_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVQ_PCRE2=ON -DVQ_BUILD_UI=OFF
	cmake --build $(PCRE2_BUILD) -j $(JOBS)
	cd $(PCRE2_BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(RELEASE) $(PCRE2_BUILD) $(DEMO) build-asan build-tidy
