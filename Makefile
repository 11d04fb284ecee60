# The two commands a user needs: `make run` and `make test`. Both install what is missing first.
JOBS ?= $(shell nproc)

.PHONY: run test test-asan bench fuzz format deps

deps:
	@scripts/install-deps.sh

run: deps
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS)
	build/dev/Mintlux/mintlux

test: deps
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS)
	ctest --preset dev -j $(JOBS)

test-asan: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

bench: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS)
	@for b in build/release/bench/bench_*; do echo "== $$b"; $$b; done

fuzz: deps
	@command -v clang++ >/dev/null || { echo "the fuzz targets need clang++ (apt-get install clang)"; exit 1; }
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	@echo "Run e.g.: build/fuzz/fuzz/fuzz_wire_decoder -max_total_time=600 fuzz/corpus/wire"

format:
	@git ls-files '*.h' '*.cpp' | xargs clang-format -i
