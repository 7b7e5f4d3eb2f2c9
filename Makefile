# Vellumark: `make test` builds and runs every test; `make run` starts the program.
BUILD      ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS       ?= $(shell nproc)
ASAN_BUILD ?= build-asan
# A compiler cache, when the machine has one, makes rebuilds in several work trees cheap.
LAUNCHER   := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

# Tests need no display; WebEngine refuses its sandbox as root.
HEADLESS = QT_QPA_PLATFORM=offscreen QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu QTWEBENGINE_DISABLE_SANDBOX=1

.PHONY: all deps configure build test run bench test-asan fuzz install-check package format format-check clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(LAUNCHER) > /dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && $(HEADLESS) ctest --output-on-failure -j $(JOBS) --timeout 600

bench: build
	@scripts/run-benchmarks $(BUILD)

test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELLUMARK_SANITIZE=ON $(LAUNCHER) > /dev/null
	@cmake --build $(ASAN_BUILD) --target sanitize_tests -j $(JOBS)
	@cd $(ASAN_BUILD) && $(HEADLESS) ctest --output-on-failure -j $(JOBS) -L sanitize

fuzz: deps
	@scripts/run-fuzzers

# clang-format (the repository's .clang-format) over every C++ file git tracks.
FORMAT_FILES = $(shell git ls-files '*.cpp' '*.h')

format: deps
	@clang-format -i $(FORMAT_FILES)

format-check: deps
	@clang-format --dry-run --Werror $(FORMAT_FILES)

# Installs into a staging folder and tries the installed program there (scripts/check-install).
install-check: build
	@scripts/check-install $(BUILD)

# A Debian package (CPack) in $(BUILD)/, checked with lintian.
package: build
	@scripts/install-deps --package
	@cd $(BUILD) && cpack -G DEB > /dev/null && ls vellumark_*.deb
	@lintian --fail-on error $(BUILD)/vellumark_*.deb

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  echo "make run: no display (set DISPLAY, or start one with Xvfb)"; exit 1; fi
	@VELLUMARK_HOME=$(CURDIR)/$(BUILD)/ QTWEBENGINE_DISABLE_SANDBOX=1 $(BUILD)/bin/vellumark

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
