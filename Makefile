# make test   installs what is missing, then builds and runs every test suite:
#             an optimised build with warnings as errors, an Address- and
#             UndefinedBehaviorSanitizer build, and a ThreadSanitizer build of
#             the concurrency tests.
# make bench  builds and runs the benchmarks.
JOBS ?= 2

.PHONY: test deps bench clean

deps:
	bash scripts/install-deps.sh

test: deps
	cmake --preset default
	cmake --build --preset default -j $(JOBS)
	ctest --preset default
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS) --target zv_concurrency_tests
	ctest --preset tsan

bench: deps
	cmake --preset bench
	cmake --build --preset bench -j $(JOBS)
	./build/bench/bench/zv_bench

clean:
	rm -rf build
