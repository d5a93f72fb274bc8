# The two commands a newcomer needs: `make run` and `make test`.
PRESET ?= default
BUILD := build/$(PRESET)

.PHONY: run test build configure deps clean

deps:
	@scripts/install-deps

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET)

test: build
	@ctest --preset $(PRESET)

run: build
	@scripts/run-demo $(BUILD)

clean:
	rm -rf build
