# Front door: `make run` and `make test` are all a new user needs.
# Each first installs missing Debian packages (scripts/setup-deps.sh).

JOBS ?= $(shell nproc)
BUILD := build
TEST_BUILD := build-test
CMAKE_FLAGS ?=
# The Windows program and its tests, cross-built with mingw-w64; the tests run
# under Wine. build-test gives build-win-test, build-x build-win-x.
WIN_BUILD := build-win
WIN_TEST_BUILD = $(if $(filter build%,$(TEST_BUILD)),$(patsubst build%,build-win%,$(TEST_BUILD)),$(TEST_BUILD)-win)
WIN_CMAKE := -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DWORDTAP_BACKEND=win32

.PHONY: all deps build run test fuzz bench bench-timing demo windows dist clean

all: build

deps:
	@scripts/setup-deps.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWORDTAP_BENCH=ON $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# Runs wordtap in ./experiment; it creates data/ and its results there.
run: build
	mkdir -p experiment
	cd experiment && ../$(BUILD)/wordtap

$(TEST_BUILD)/CMakeCache.txt:
	cmake -S . -B $(TEST_BUILD) -DCMAKE_BUILD_TYPE=Debug -DWORDTAP_TESTS=ON \
	  -DWORDTAP_SANITIZE=ON -DWORDTAP_WERROR=ON $(CMAKE_FLAGS)

$(WIN_TEST_BUILD)/CMakeCache.txt:
	cmake -S . -B $(WIN_TEST_BUILD) $(WIN_CMAKE) -DCMAKE_BUILD_TYPE=Debug -DWORDTAP_TESTS=ON \
	  -DWORDTAP_WERROR=ON

# The Windows program comes first: the Linux build's e2e_wine runs it beside
# the Linux program to compare their layouts.
test: deps $(TEST_BUILD)/CMakeCache.txt $(WIN_TEST_BUILD)/CMakeCache.txt
	scripts/check-layers.sh
	$(MAKE) --no-print-directory windows
	cmake --build $(TEST_BUILD) -j $(JOBS)
	cd $(TEST_BUILD) && ctest --output-on-failure -j $(JOBS)
	cmake --build $(WIN_TEST_BUILD) -j $(JOBS)
	cd $(WIN_TEST_BUILD) && ctest --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory dist
	WINE_RUN=scripts/wine-run.sh tests/dist/unpack_and_start.sh dist

$(WIN_BUILD)/CMakeCache.txt:
	cmake -S . -B $(WIN_BUILD) $(WIN_CMAKE) -DCMAKE_BUILD_TYPE=Release

# build-win/wordtap.exe, which needs no DLL beyond those Windows ships.
windows: deps $(WIN_BUILD)/CMakeCache.txt
	cmake --build $(WIN_BUILD) -j $(JOBS)

# dist/wordtap-<version>-windows-x64.zip (the .exe and the guide) and
# dist/wordtap_<version>_amd64.deb (the program, the guide, its Depends).
dist: build windows
	cmake --build $(WIN_BUILD) --target dist_zip
	cd $(BUILD) && cpack -G DEB

fuzz: deps
	tests/fuzz/run.sh

bench: build
	tools/bench/run.sh $(BUILD)

# WINDOWS=1 measures build-win/wordtap.exe under Wine (the probe and the X
# server are the Linux build's); docs/timing-wine.png. BENCH_ARGS go to the
# bench, e.g. "--also before=path/to/wordtap" to take turns with another build.
bench-timing: build $(if $(WINDOWS),windows)
	tools/bench-timing/bench_timing.sh $(BUILD) $(if $(WINDOWS),--exe $(WIN_BUILD)/wordtap.exe --plot docs/timing-wine.png) $(BENCH_ARGS)

demo: build
	tools/demo/demo.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(TEST_BUILD) $(WIN_BUILD) $(WIN_TEST_BUILD) build-fuzz dist
