# make demo     set up, build vlmhost and the plug-ins, and run every plug-in on the examples
# make test     set up, check the formatting, build the program and the windows' tests in the
#               plain build and everything in the check build, run the windows' tests in the
#               plain build and every other test in the check build (under the sanitizers),
#               then every fuzz target for a few seconds on its seeds
# make test-plain  the quick inner loop: the plain build and its tests only
# make test-check  the check build and its tests only (make test-asan is the same)
# make format   format every C++ file with clang-format; make format-check only checks
# make fuzz     build the fuzz targets (in the check build) and run each for FUZZ_SECONDS
#               (default 60), stopping at the first failure with the input that reproduces it
# make install  build and install vlmhost, its runtime, the plug-ins, the examples and the docs
#               under PREFIX (default /usr/local), below DESTDIR when it is set
# make pictures  draw one picture of each plug-in's dialog and two of the workbench for the
#               README (docs/pictures/)
# make bench    build the plain build's benchmarks and print the tables of every case (scene
#               files under $(BUILD)/bench-data), then the batch runner's table (200 test
#               models)
# make clean    delete the build folders (the demo's configuration folder stays)
#
# The first run installs the Debian packages it needs when they are missing (as root, with
# apt-get) and configures the builds; later runs rebuild only what changed.

BUILD      ?= build
CHECK_BUILD ?= build-check
FUZZ_SECONDS ?= 60
# The quick run of each fuzz target in `make test`, on its seeds; with one target per core all
# of them together take about a minute.
FUZZ_SMOKE_SECONDS ?= 5
JOBS       ?= $(shell nproc)
PREFIX     ?= /usr/local
# The demo's configuration folder ($VLM_HOME): one per checkout, outside every build folder,
# so remembered settings and saved materials outlive a clean build.
DEMO_HOME  ?= $(CURDIR)/home
PACKAGES   := cmake make g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev \
              libpugixml-dev nlohmann-json3-dev libcli11-dev qt6-base-dev fonts-dejavu-core \
              libassimp-dev assimp-testmodels libmeshoptimizer-dev libsimdjson-dev libjemalloc-dev clang \
              libclang-rt-14-dev lld ninja-build clang-format xvfb xauth libgl1-mesa-dri parallel \
              libsquish-dev

.PHONY: all deps build build-check build-fuzz deliverables demo demo-home pictures test \
        test-plain test-windows test-check test-asan fuzz fuzz-smoke install format format-check bench clean

all: build

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  if [ "$$(id -u)" -ne 0 ]; then echo "Run as root to install:$$missing" >&2; exit 1; fi; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi

# Each build folder is configured once, for Ninja; after that `cmake --build` configures again
# by itself when a CMakeLists.txt changes. A configuration that fails is started afresh next
# time.
# The plain build optimises and keeps line tables (-g1: backtraces and profiles name the
# lines); for a debugger's view of variables, configure a Debug build of your own.
$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" || { rm -f $@; exit 1; }

# The check build: clang with the address and undefined-behaviour sanitizers, lightly
# optimised (their own advice; asserts stay on), and everything the fuzzers reach instrumented
# for them. It holds the tests, run under the sanitizers, and the fuzz targets. Without the
# windows (the plain build tests those), it is also the build without Qt; without benchmarks.
$(CHECK_BUILD)/CMakeCache.txt: | deps
	CC=clang CXX=clang++ cmake -S . -B $(CHECK_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -gline-tables-only" -DVLM_SANITIZE=ON -DVLM_FUZZ=ON \
	  -DVLM_GUI=OFF -DVLM_BENCHMARKS=OFF || { rm -f $@; exit 1; }

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

build-check: $(CHECK_BUILD)/CMakeCache.txt
	cmake --build $(CHECK_BUILD) -j $(JOBS)

build-fuzz: $(CHECK_BUILD)/CMakeCache.txt
	cmake --build $(CHECK_BUILD) -j $(JOBS) --target fuzz_targets

# Only what is delivered: vlmhost, its runtime and the plug-ins; no tests, no benchmarks.
deliverables: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target deliverables

demo: demo-home
	VLM_HOME=$(DEMO_HOME) BUILD=$(BUILD) ./examples/demo.sh
	VLM_HOME=$(DEMO_HOME) $(BUILD)/bin/vlmhost screenshots out/screenshots

# The demo's configuration folder, with the built plug-ins registered.
demo-home: deliverables
	mkdir -p $(DEMO_HOME)
	test -e $(DEMO_HOME)/machine.reg || cp $(BUILD)/home/machine.reg $(DEMO_HOME)/machine.reg
	VLM_HOME=$(DEMO_HOME) $(BUILD)/bin/vlmhost register $(BUILD)/plugins/*.so

# The README's pictures: each plug-in's main dialog as a first run shows it, drawn off screen,
# and the workbench drawn under a virtual display.
WORKBENCH_PICTURE = xvfb-run -a -s "-screen 0 1600x1200x24" $(BUILD)/bin/vlmhost gui
pictures: demo-home
	VLM_HOME=$(DEMO_HOME) $(BUILD)/bin/vlmhost screenshots --one docs/pictures
	VLM_HOME=$(DEMO_HOME) $(WORKBENCH_PICTURE) examples/hangar.json \
	  --select faces:Hangar/Shell:2 --picture docs/pictures/workbench-hangar.png
	VLM_HOME=$(DEMO_HOME) $(WORKBENCH_PICTURE) \
	  /usr/share/assimp/models/glTF/CesiumMilkTruck/CesiumMilkTruck.gltf \
	  --picture docs/pictures/workbench-import.png

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# What `make test` takes from the plain build: the program, the plug-ins and the windows'
# tests, run with the installed tree's (the tests labelled "plain"). Every other test runs in
# the check build, under the sanitizers.
PLAIN_TEST_TARGETS = deliverables vlm_gui_tests vlm_workbench_tests
test-windows: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target $(PLAIN_TEST_TARGETS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -L plain

test-check: build-check
	cd $(CHECK_BUILD) && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS)

# The sanitizers' tests under their former name.
test-asan: test-check

fuzz: build-fuzz
	JOBS=$(JOBS) fuzz/run_fuzzers.sh $(CHECK_BUILD) $(FUZZ_SECONDS) corpus

fuzz-smoke: build-fuzz
	JOBS=$(JOBS) fuzz/run_fuzzers.sh $(CHECK_BUILD) $(FUZZ_SMOKE_SECONDS) seeds

# The formatting first: it fails in a second, before anything is built. Each test runs once:
# the windows' in the plain build (the check build has no Qt), all the others in the check
# build under the sanitizers; then the fuzz targets.
test: format-check test-windows test-check fuzz-smoke

install: deliverables
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# Each case runs three times in a process of its own; the table gives the medians.
bench: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target deliverables scene_bench wingform_bench \
	  trackline_bench workbench_bench bench_table batch_bench
	$(BUILD)/bin/bench_table $(BUILD) $(BUILD)/bench-data
	$(BUILD)/bin/batch_bench $(BUILD) $(BUILD)/bench-data/batch

# Every C++ file of the project, for clang-format (the project's .clang-format).
FORMAT_FILES = find platform contracts plugins host tests bench fuzz -name '*.cpp' -o -name '*.h'

format: deps
	$(FORMAT_FILES) | xargs clang-format -i

format-check: deps
	$(FORMAT_FILES) | xargs clang-format --dry-run -Werror

clean:
	rm -rf $(BUILD) $(CHECK_BUILD) build-asan build-fuzz
