# Front door of the build. `make test` and `make run` work on a fresh Debian
# machine: they install what is missing first, `make run` only what building
# and running the server needs.
JOBS ?= $(shell nproc)
TEST_DIR := build/test
RUN_DIR := build/run
BOARD_ROOT := $(CURDIR)/$(RUN_DIR)/board
PORT ?= 20001

.PHONY: deps deps-run test build-test build-run run format clean

# Everything: the run list and what the tests and benchmarks use.
deps:
	./scripts/install-deps.sh test

deps-run:
	./scripts/install-deps.sh run

build-test: deps
	cmake -S . -B $(TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Sanitize
	cmake --build $(TEST_DIR) -j $(JOBS)

test: build-test
	cd $(TEST_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 300

# The server as a user runs it: optimised, without sanitizers; with the
# stand-ins for the board's child programs.
build-run: deps-run
	cmake -S . -B $(RUN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(RUN_DIR) -j $(JOBS) --target korvexd modem_program_standin t38_standin

# On the simulated board, in the foreground, logging to the console; Ctrl-C stops it.
run: build-run
	./scripts/board-root.sh $(BOARD_ROOT) $(RUN_DIR)/tests/modem_program_standin $(RUN_DIR)/tests/t38_standin
	GATEWAY_ROOT=$(BOARD_ROOT) $(RUN_DIR)/server/korvexd --port $(PORT)

# Every C++ file git tracks or would track, so new folders need no entry here.
format:
	git ls-files -z --cached --others --exclude-standard '*.h' '*.cpp' | xargs -0 -r clang-format -i

clean:
	rm -rf build
