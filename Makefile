# The two everyday commands: `make demo` builds ecflux, runs it on the
# bundled example in build/demo and draws the run's plots with ecflux-plot;
# `make test` builds everything and runs every test.

BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all build demo test clean

all: build

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	rm -rf $(BUILD)/demo
	mkdir -p $(BUILD)/demo
	cp examples/ConfigDRAVEK.Dat examples/example.dat $(BUILD)/demo/
	cd $(BUILD)/demo && ../ecflux
	@echo
	@echo "Outputs of the example run are in $(abspath $(BUILD)/demo):"
	@cd $(BUILD)/demo && ls -l results.out cumflux.out CFSHIFT.out Cospectra.out
	@echo
	@echo "Plots of the example run, to open in a web browser:"
	@cd $(BUILD)/demo && ../ecflux-plot

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)
