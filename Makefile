# Front door of the build. `make test` and `make run` work on a fresh Debian
# machine: they install what is missing first.
JOBS ?= $(shell nproc)
TEST_DIR := build/test

.PHONY: deps test build-test format clean

deps:
	./scripts/install-deps.sh

build-test: deps
	cmake -S . -B $(TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Sanitize
	cmake --build $(TEST_DIR) -j $(JOBS)

test: build-test
	cd $(TEST_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 300

format:
	find platform runtime asn1 schemas server hardware slots rtp radio signalling monitoring tests bench \
	  \( -name '*.h' -o -name '*.cpp' \) -print0 | xargs -0 -r clang-format -i

clean:
	rm -rf build
