# The front door: tools/bootstrap installs what is missing, CMake does the work.
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)

.PHONY: all bootstrap configure build check run demo clean

all: build

bootstrap:
	@tools/bootstrap

configure: bootstrap
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

check: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

run: build
	$(BUILD)/bin/kestrion

demo: bootstrap
	tools/demo

clean:
	rm -rf $(BUILD) build-demo
