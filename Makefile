# The two everyday commands: `make demo` builds ecflux, runs it on the
# bundled example in build/demo (with the CSV files, the spectra and the
# random errors, so that the plots show all they can) and draws the run's plots
# with ecflux-plot;
# `make test` builds everything and runs every test. `make demo` and
# `make package` need only cmake, g++, make and the libraries of the two
# programs (the README's Set-up): they build the two programs alone, and a
# build folder that they configure first leaves the tests out (a later
# `make build` or `make test` turns them on in the same folder).

BUILD ?= build
JOBS ?= $(shell nproc)
# WERROR=ON turns compiler warnings into errors (CI builds so), in the g++
# build and in the clang++ builds of clang-check and fuzz.
WERROR ?= OFF
# UNOPTIMISED_CHECK=ON builds ecflux a second time without optimisation, for
# the test that its files do not depend on the optimiser (CI builds so). Given
# once, the build folder keeps it: a later `make test` or `make package`
# without it builds the same.
UNOPTIMISED_CHECK ?=

.PHONY: all build programs demo test package clean sanitize clang-check fuzz slow-test

all: build

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DECFLUX_WERROR=$(WERROR) -DECFLUX_TESTS=ON \
	  $(if $(UNOPTIMISED_CHECK),-DECFLUX_UNOPTIMISED_CHECK=$(UNOPTIMISED_CHECK))
	cmake --build $(BUILD) -j $(JOBS)

# ecflux and ecflux-plot only, without the test libraries.
programs:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DECFLUX_WERROR=$(WERROR) \
	  $$([ -f $(BUILD)/CMakeCache.txt ] || echo -DECFLUX_TESTS=OFF)
	cmake --build $(BUILD) -j $(JOBS) --target ecflux ecflux-plot

demo: programs
	rm -rf $(BUILD)/demo
	mkdir -p $(BUILD)/demo
	cp examples/ConfigDRAVEK.Dat examples/example.dat $(BUILD)/demo/
	cd $(BUILD)/demo && ../ecflux --csv --spectra --uncertainty
	@echo
	@echo "Outputs of the example run are in $(abspath $(BUILD)/demo):"
	@cd $(BUILD)/demo && ls -l results.out cumflux.out CFSHIFT.out Cospectra.out
	@echo
	@echo "Plots of the example run, to open in a web browser:"
	@cd $(BUILD)/demo && ../ecflux-plot

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The Debian package of the two programs, the manual page, the README and
# the example: $(BUILD)/ecflux_<version>_<arch>.deb. cpack first builds what
# the build folder holds (the tests too, where they are configured).
package: programs
	cd $(BUILD) && cpack

clean:
	rm -rf $(BUILD) build-asan build-clang build-fuzz

# Hardening checks, each in a build folder of its own (CI runs them all).

# Every test again, in a build with AddressSanitizer and
# UndefinedBehaviorSanitizer: the first report fails the test that met it.
# At -O1, as the sanitizers' documentation advises: it builds in about 60 %
# of the time that -O3 takes.
sanitize:
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Release -DECFLUX_SANITIZE=ON \
	  -DCMAKE_CXX_FLAGS_RELEASE="-O1 -DNDEBUG"
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS)

# ecflux built with clang++ must write the same bytes as the g++ build: the
# four files and the standard output of the bundled example, and of a
# synthetic record long enough to fill the sweep's vector lanes. Everything
# but the tests is built, so that clang's warnings in ecflux-plot, the Python
# module and the tools count too.
COMPARE := build-clang/compare
clang-check: build
	cmake -S . -B build-clang -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++ \
	  -DECFLUX_WERROR=$(WERROR) -DECFLUX_TESTS=OFF
	cmake --build build-clang -j $(JOBS)
	rm -rf $(COMPARE)
	mkdir -p $(COMPARE)/example $(COMPARE)/synthetic
	cp examples/ConfigDRAVEK.Dat examples/example.dat $(COMPARE)/example/
	$(BUILD)/make_record $(COMPARE)/synthetic/record.dat --rate 16 --seconds 7300 \
	  --config $(COMPARE)/synthetic/ConfigDRAVEK.Dat --block 300 --window 60
	@status=0; \
	for run in example synthetic; do \
	  for compiler in gcc clang; do \
	    mkdir -p $(COMPARE)/$$run-$$compiler && cp $(COMPARE)/$$run/* $(COMPARE)/$$run-$$compiler/ || exit 1; \
	  done; \
	  (cd $(COMPARE)/$$run-gcc && $(abspath $(BUILD))/ecflux > standard-output) || exit 1; \
	  (cd $(COMPARE)/$$run-clang && $(abspath build-clang)/ecflux > standard-output) || exit 1; \
	  for file in results.out cumflux.out CFSHIFT.out Cospectra.out standard-output; do \
	    if cmp $(COMPARE)/$$run-gcc/$$file $(COMPARE)/$$run-clang/$$file; then \
	      echo "$$run: same bytes from g++ and clang++: $$file"; \
	    else \
	      status=1; \
	    fi; \
	  done; \
	done; \
	exit $$status

# Each fuzz target for FUZZ_SECONDS from a copy of its seed corpus (the
# committed corpus is not changed). A crash, a hang of more than ten seconds,
# a sanitizer report or a failed check fails; the input that caused it is
# kept in build-fuzz/artifacts.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := configuration_fuzz data_reader_fuzz fields_fuzz
fuzz:
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++ \
	  -DECFLUX_WERROR=$(WERROR) -DECFLUX_FUZZ=ON -DECFLUX_TESTS=OFF
	cmake --build build-fuzz -j $(JOBS) --target $(FUZZ_TARGETS)
	mkdir -p build-fuzz/artifacts
	@for target in $(FUZZ_TARGETS); do \
	  corpus=$$(mktemp -d) && cp fuzz/corpus/$$target/* $$corpus/ && \
	  echo "fuzzing $$target for $(FUZZ_SECONDS) s" && \
	  build-fuzz/fuzz/$$target -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 \
	    -print_final_stats=1 -artifact_prefix=$(abspath build-fuzz/artifacts)/$$target- \
	    $$corpus > build-fuzz/$$target.log 2>&1; \
	  status=$$?; rm -rf $$corpus; \
	  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)' build-fuzz/$$target.log; \
	  if [ $$status -ne 0 ]; then tail -n 60 build-fuzz/$$target.log; exit 1; fi; \
	done

# The runs too long for every test: a whole block of two million samples, and
# the means of a block longer than 2^24 samples.
slow-test: build
	ECFLUX_SLOW_TESTS=1 $(BUILD)/tests/fault_tests --gtest_filter='Faults.BlockOfTwoMillionSamples'
	ECFLUX_SLOW_TESTS=1 $(BUILD)/tests/stats_tests \
	  --gtest_filter='BlockStatistics.MeansOfBlocksLongerThanTwoToTheTwentyFourSamples'
