# make test   installs what is missing, then builds and runs every test suite:
#             an optimised build with warnings as errors, an Address- and
#             UndefinedBehaviorSanitizer build, and a ThreadSanitizer build of
#             the concurrency tests.
# make bench  builds and runs the benchmarks: the plug-in's Receive path, and
#             the classification library's speed and memory per engine.
# make eval   builds the sound generator, the evaluation and the
#             classification library (Release, build/eval), generates the
#             labelled set into build/eval/generated when it is missing or the
#             generator is newer, and evaluates the library on its holdout and
#             tune splits and on the recordings in ../shared/sounds
#             (SOUNDS=DIR for another folder, EVAL_ARGS for zv_eval options).
JOBS ?= 2
EVAL_DIR := build/eval
SOUNDS ?= ../shared/sounds
EVAL_ARGS ?=

.PHONY: test deps bench eval clean

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
	./build/bench/bench/zv_sdk_bench

eval: deps
	cmake -S . -B $(EVAL_DIR) -DCMAKE_BUILD_TYPE=Release -DZV_BUILD_TESTS=OFF
	cmake --build $(EVAL_DIR) -j $(JOBS) --target zv_soundgen zv_eval zv_audio_analytics
	@gen=$$(find $(EVAL_DIR) -type f -name zv_soundgen -perm -u+x | head -n 1); \
	out="$(EVAL_DIR)/generated"; \
	if [ ! -f "$$out/manifest.csv" ] || [ "$$gen" -nt "$$out/manifest.csv" ]; then \
	  echo "generating the labelled set into $$out"; \
	  rm -rf "$$out.tmp" && "$$gen" --out "$$out.tmp" --split both && \
	  rm -rf "$$out" && mv "$$out.tmp" "$$out"; \
	fi
	$(EVAL_DIR)/ZVAudioSdk/tools/eval/zv_eval --snr --split holdout $(EVAL_ARGS) $(EVAL_DIR)/generated
	$(EVAL_DIR)/ZVAudioSdk/tools/eval/zv_eval --snr --split tune $(EVAL_ARGS) $(EVAL_DIR)/generated
	@if [ -f "$(SOUNDS)/manifest.csv" ]; then \
	  echo "$(EVAL_DIR)/ZVAudioSdk/tools/eval/zv_eval $(EVAL_ARGS) $(SOUNDS)"; \
	  $(EVAL_DIR)/ZVAudioSdk/tools/eval/zv_eval $(EVAL_ARGS) "$(SOUNDS)"; \
	else \
	  echo "$(SOUNDS) not found: evaluation on the recordings skipped"; \
	fi

clean:
	rm -rf build
