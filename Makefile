# The two commands a user needs: `make run` and `make test`. Both install what is missing first.
JOBS ?= $(shell nproc)

.PHONY: run test test-asan bench fuzz format deps

deps:
	@scripts/install-deps.sh

run: deps
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS) --target mintlux
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

fuzz:
	@scripts/install-deps.sh fuzz
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	@mkdir -p build/fuzz/corpus/wire
	@echo "Run e.g.: build/fuzz/fuzz/fuzz_wire_decoder -max_total_time=600 build/fuzz/corpus/wire fuzz/corpus/wire"
	@echo "(new inputs go to the first directory, so the checked-in seeds stay as they are)"

format:
	@git ls-files '*.h' '*.cpp' | xargs clang-format -i
