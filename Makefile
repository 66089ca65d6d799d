# Two entry points: `make run` builds and starts Vexo, `make test` builds and
# runs every test. Both install the Debian packages they need first.
JOBS ?= $(shell nproc)
BUILD ?= build

.PHONY: run test package deps build build-asan clean

deps:
	./tools/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./tools/run.sh $(BUILD)

# The normal suite runs the window tests twice: offscreen, and on a virtual X
# server (xvfb-run, platform xcb) so they are proven on a real display.
# After the normal suite: the suite again under the sanitizers with a leak
# check of vexo-cli (build-asan), then each fuzz target for FUZZ_SECONDS
# seconds (build-fuzz).
test: build
	QT_QPA_PLATFORM=offscreen ctest --test-dir $(BUILD) --output-on-failure
	./tools/test-sanitized.sh
	./tools/fuzz.sh

# The Debian package, $(BUILD)/vexo_VERSION_amd64.deb (CPack).
package: build
	cmake --build $(BUILD) --target package

clean:
	rm -rf $(BUILD) build-asan build-fuzz
