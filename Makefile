# The two commands the README starts with: `make demo` and `make test`.
# Each installs what is missing (scripts/deps.sh), configures and builds by itself.

JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
CLI := $(BUILD)/src/kelvara-cli
DEMO := examples/demo

.PHONY: all deps build build-asan test test-release test-asan demo bench fuzz clean screenshots \
	package package-check

all: build

deps:
	@scripts/deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

$(ASAN_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKELVARA_SANITIZE=ON

build-asan: deps $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS)

test-release: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: build-asan
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j $(JOBS)

test: test-release test-asan

DEMO_CLI = $(CLI) --library $(DEMO)/Library.xml --music-folder $(DEMO)/Music --config-dir $(BUILD)/demo-config

# Lists the demo library, exports every playlist converted to MP3 at 192 kbit/s into ./demo-export,
# and writes an XLSX listing of the same songs beside it.
demo: build
	$(DEMO_CLI) playlists
	$(DEMO_CLI) albums
	$(DEMO_CLI) export --all --mp3 192 --to demo-export; status=$$?; [ $$status -le 1 ]
	$(DEMO_CLI) list --all --to demo-listing.xlsx
	@echo "Exported to $(CURDIR)/demo-export; listing in $(CURDIR)/demo-listing.xlsx"

# The Debian package, made by CPack from the release build: $(BUILD)/kelvara_VERSION_ARCH.deb.
package: build
	cd $(BUILD) && cpack -G DEB
	@ls -l $(BUILD)/kelvara_*.deb

# lintian on the package; as root, also installs it with apt-get, runs it and purges it again.
package-check: package
	tests/packaging/deb-check.sh $(BUILD)/kelvara_*.deb

bench: deps
	bench/run.sh build-release

# Pictures of the desktop application on the demo library, under Xvfb, into docs/screenshots/.
screenshots: deps $(BUILD)/CMakeCache.txt
	JOBS=$(JOBS) scripts/screenshots.sh $(BUILD)

# Builds the libFuzzer targets with clang in their own folder and runs each for FUZZ_SECONDS
# seconds on a copy of its corpus; fails when one of them crashes.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60

$(FUZZ_BUILD)/CMakeCache.txt: | deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DKELVARA_FUZZ=ON -DKELVARA_TESTS=OFF -DKELVARA_APP=OFF

fuzz: deps $(FUZZ_BUILD)/CMakeCache.txt
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_targets
	fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
