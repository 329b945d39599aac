# The editor's two everyday commands:
#   make run    builds the editor and starts it on the demo home folder
#   make test   builds everything and runs the whole test suite
#   make install   installs into PREFIX (/usr/local), under DESTDIR when set
#   make deb       builds the Debian package slvedit_VERSION_ARCH.deb in the build folder
#   make coverage  an instrumented build of its own (build-coverage) runs the
#                  suite and reports line and branch coverage of src/ and tools/
#   make mutate    plants simple faults in the lines changed against main and
#                  says which ones the tests catch (BASE=REV, FILES="a.cpp b.h",
#                  MAX=mutants per file, TIMEOUT=seconds a test may run)
BUILD ?= build
GEN   ?= Ninja
CMAKE_FLAGS ?=
COVERAGE_BUILD ?= build-coverage
PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: all deps configure build run test bench coverage mutate clean install deb

all: build

deps:
	@bash tools/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -G $(GEN) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD)

run: build
	@if [ ! -d $(BUILD)/demo-home ]; then cp -r $(BUILD)/demo $(BUILD)/demo-home; fi
	cd $(BUILD)/demo-home && ../slvedit

test: build
	cd $(BUILD) && ctest --output-on-failure --timeout 600 -j2

install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

deb: build
	cd $(BUILD) && cpack -G DEB

coverage: deps
	@bash tools/coverage.sh $(COVERAGE_BUILD) $(BUILD)/coverage $(GEN)

# Not part of `make test`: each mutant is a rebuild and a test run.
mutate:
	@[ -f $(BUILD)/CMakeCache.txt ] || cmake -S . -B $(BUILD) -G $(GEN) $(CMAKE_FLAGS)
	BASE="$(BASE)" FILES="$(FILES)" MAX="$(MAX)" TIMEOUT="$(TIMEOUT)" python3 tools/mutate/mutate.py --build $(BUILD)

# The benchmarks draw on an X server (Xvfb) when xvfb-run is there, so that
# presenting a frame includes the server taking it; offscreen otherwise.
bench: build
	@if command -v xvfb-run >/dev/null; then \
	  xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb $(BUILD)/slvbench; \
	else $(BUILD)/slvbench; fi
	sh tools/slvtool/measure_package.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(COVERAGE_BUILD)
