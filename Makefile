# The two commands a newcomer needs: `make run` and `make test`.
PRESET ?= default
BUILD := build/$(PRESET)
# clang-tidy's parallel jobs; a build and its generated sources come first.
LINT_JOBS ?= 2
# Every project file in compile_commands.json.
TIDY_FILES := '^$(CURDIR)/(?!build/)'
# clang 14 does not announce C++20 coroutines over libstdc++ the way Asio looks for them.
TIDY_ARGS := -extra-arg=-DASIO_HAS_CO_AWAIT=1 -extra-arg=-DASIO_HAS_STD_COROUTINE=1

.PHONY: run test build configure deps clean package lint

deps:
	@scripts/install-deps

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET)

test: build
	@ctest --preset $(PRESET)

# Every C++ file formatted as .clang-format says, and clang-tidy clean (.clang-tidy).
lint: build
	@git ls-files -- '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
	@run-clang-tidy -quiet -j $(LINT_JOBS) -p $(BUILD) $(TIDY_ARGS) $(TIDY_FILES) \
	  >$(BUILD)/clang-tidy.log 2>&1 || { grep -E 'warning:|error:' $(BUILD)/clang-tidy.log; exit 1; }

# The Debian packages murmelpost, murmelpost-server and murmelpost-send, in $(BUILD)/packages.
package: build
	@cpack --config $(BUILD)/CPackConfig.cmake -B $(BUILD)/packages

run: build
	@scripts/run-demo $(BUILD)

clean:
	rm -rf build
