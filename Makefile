# make demo   set up, build from scratch and run the mirror tool on the example scene
# make test   set up, build from scratch (plain and sanitizer builds) and run every test
#
# Both install the Debian packages they need when they are missing (as root, with apt-get).

BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
PACKAGES   := cmake make g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev \
              libpugixml-dev nlohmann-json3-dev libcli11-dev

.PHONY: all deps build build-asan demo test test-plain test-asan format clean

all: build

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  if [ "$$(id -u)" -ne 0 ]; then echo "Run as root to install:$$missing" >&2; exit 1; fi; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi

build: deps
	rm -rf $(BUILD)
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	rm -rf $(ASAN_BUILD)
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVLM_SANITIZE=ON -DVLM_BENCHMARKS=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)

demo: build
	VLM_HOME=$(CURDIR)/$(BUILD)/home BUILD=$(BUILD) ./examples/demo.sh

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: build-asan
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS)

test: test-plain test-asan

format:
	find platform plugins host tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
