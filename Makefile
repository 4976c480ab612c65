# The two everyday commands: `make demo` builds ecflux and runs it on the
# bundled example in build/demo; `make test` builds everything and runs every
# test.

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

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)
