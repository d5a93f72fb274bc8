# The two commands a newcomer needs: `make run` and `make test`.
PRESET ?= default
BUILD := build/$(PRESET)

.PHONY: run test build configure deps clean package

deps:
	@scripts/install-deps

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET)

test: build
	@ctest --preset $(PRESET)

# The Debian packages murmelpost, murmelpost-server and murmelpost-send, in $(BUILD)/packages.
package: build
	@cpack --config $(BUILD)/CPackConfig.cmake -B $(BUILD)/packages

run: build
	@scripts/run-demo $(BUILD)

clean:
	rm -rf build
