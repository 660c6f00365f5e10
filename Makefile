# SPDX-License-Identifier: GPL-3.0-or-later
# One-command entry points. `make test` works on a fresh Debian 12 machine:
# it installs what is missing, configures, builds and runs the whole suite.

BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja

.PHONY: all deps test-deps configure configure-tests build build-tests format format-check test test-asan test-tsan demo bench bench-e2e bench-live-view large longrun fuzz package clean

all: build

# What building and running need; test-deps adds what the tests, the
# benchmarks and the fuzzers need.
deps:
	@scripts/install-deps

test-deps:
	@scripts/install-deps --test

# A new build folder builds the programs only (GoogleTest and Google
# Benchmark may be missing); the targets that need the tests turn them on.
$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DORBICROP_BUILD_TESTS=OFF -DORBICROP_BUILD_BENCH=OFF

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

configure-tests: test-deps configure
	cmake -S . -B $(BUILD) -DORBICROP_BUILD_TESTS=ON -DORBICROP_BUILD_BENCH=ON

build-tests: configure-tests
	cmake --build $(BUILD) -j $(JOBS)

test: build-tests
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) -LE 'large|longrun'

# A Debian package of both programs, their menu entry, icons and manual
# pages, left here as orbicrop_<version>_<arch>.deb: `apt install ./orbicrop_*.deb`.
package: build
	cd $(BUILD) && cpack -G DEB
	cp $(BUILD)/orbicrop_*.deb .

# The suite again under AddressSanitizer + UndefinedBehaviorSanitizer.
test-asan: test-deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DORBICROP_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) -LE 'large|longrun'

# The suite again under ThreadSanitizer. FFmpeg's and Qt's libraries are not
# built with it, so what they hand between their own threads looks racy;
# tests/tsan.supp leaves out those libraries only. Any report fails its test.
# Window tests start the tools (the sample maker, the command-line tool,
# ffmpeg) from a process whose Qt threads run: the child only execs, so
# ThreadSanitizer is told not to end it for starting after such a fork.
test-tsan: test-deps
	cmake -S . -B $(TSAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DORBICROP_TSAN=ON
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	cd $(TSAN_BUILD) && QT_QPA_PLATFORM=offscreen \
	  TSAN_OPTIONS="suppressions=$(CURDIR)/tests/tsan.supp exitcode=66 second_deadlock_stack=1 die_after_fork=0 $(TSAN_OPTIONS)" \
	  ctest --output-on-failure -j $(JOBS) -LE 'large|longrun'

# Tests that write files above 4 GiB; not part of the default run.
large: build-tests
	cd $(BUILD) && ctest --output-on-failure -L large

# The whole job on a generated sample: a planet drifting over a noisy sky.
DEMO_DIR ?= demo-out
demo: build
	@mkdir -p $(DEMO_DIR)
	@test -f $(DEMO_DIR)/sample.avi || $(BUILD)/bin/orbicrop-make-sample --track $(DEMO_DIR)/sample-track.csv $(DEMO_DIR)/sample.avi
	$(BUILD)/bin/orbicrop-cli --preview $(DEMO_DIR)/sample_preview.png --track $(DEMO_DIR)/sample_orbic.csv $(DEMO_DIR)/sample.avi
	@echo
	@echo "Input:    $(DEMO_DIR)/sample.avi (300 frames, 640 x 480, the planet wanders)"
	@echo "Output:   $(DEMO_DIR)/sample_orbic.avi (192 x 192, the planet stands still)"
	@echo "Preview:  $(DEMO_DIR)/sample_preview.png"
	@echo "Track:    $(DEMO_DIR)/sample_orbic.csv (the centre found in every frame)"
	@echo "Play it:  ffplay $(DEMO_DIR)/sample_orbic.avi"

# Lays every tracked C++ source out as .clang-format says (clang-format 14);
# format-check fails, naming the files, when one is not laid out so.
format:
	@command -v clang-format >/dev/null || { echo "format: clang-format is missing (apt install clang-format)"; exit 1; }
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check: test-deps
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

bench: build-tests
	$(BUILD)/bin/orbicrop_bench

# libFuzzer targets (clang), each run for FUZZ_SECONDS on its seed corpus.
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60
fuzz: test-deps
	cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DORBICROP_FUZZ=ON -DORBICROP_BUILD_APP=OFF -DORBICROP_BUILD_TESTS=OFF -DORBICROP_BUILD_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers
	@# The fuzzer's own status decides, not the filter's: a finding fails the target,
	@# and its input lands in $(FUZZ_BUILD)/artifacts/<target>/.
	@for target in $$(ls fuzz/corpus); do \
	  echo "== $$target ($(FUZZ_SECONDS) s)"; \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$target $(FUZZ_BUILD)/artifacts/$$target; \
	  status=0; \
	  $(FUZZ_BUILD)/bin/fuzz_$$target -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_BUILD)/artifacts/$$target/ \
	    $(FUZZ_BUILD)/corpus/$$target fuzz/corpus/$$target > $(FUZZ_BUILD)/fuzz_$$target.log 2>&1 || status=$$?; \
	  grep -E 'stat::number_of_executed_units|stat::peak_rss|ERROR|SUMMARY|Done|Test unit written' $(FUZZ_BUILD)/fuzz_$$target.log; \
	  if [ $$status -ne 0 ]; then echo "fuzz_$$target failed (status $$status): $(FUZZ_BUILD)/fuzz_$$target.log"; exit 1; fi; \
	done

# Times the tool against a plain FFmpeg crop on the same inputs.
bench-e2e: build-tests
	bench/e2e.sh $(BUILD)/bin

# What showing a batch's frames in the window costs it.
bench-live-view: build-tests
	bench/live-view.sh $(BUILD)/bin

# Long runs, not part of the default run: the core's responsiveness over a
# 20,000-frame run (ctest label longrun), then orbicrop-cli over a batch of
# 20 files and over one 20,000-frame file, with peak memory and every output
# checked. Inputs are kept in LONGRUN_DIR (default $TMPDIR/orbicrop-longrun, or /tmp without TMPDIR).
longrun: build-tests
	cd $(BUILD) && ctest --output-on-failure -V -L longrun
	bench/longrun.sh $(BUILD)/bin

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) $(DEMO_DIR) orbicrop_*.deb
