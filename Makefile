# make test   installs what is missing, then builds and runs every test suite:
#             an optimised build with warnings as errors, an Address- and
#             UndefinedBehaviorSanitizer build, a ThreadSanitizer build of
#             the concurrency tests, and the fuzz targets (clang, build/fuzz)
#             run once over their seed corpora in fuzz/corpus/.
# make fuzz   builds the fuzz targets and fuzzes each for FUZZ_SECONDS
#             (default 60): new inputs go to build/fuzz/corpus/<target>, the
#             seeds in fuzz/corpus/<target> are read only, a crashing input
#             lands in build/fuzz/artifacts/<target>/. Fails when a target
#             found something.
# make bench  builds and runs the benchmarks: the plug-in's Receive path, and
#             the classification library's speed and memory per engine.
# make eval   builds the sound generator, the evaluation and the
#             classification library (Release, build/eval), generates the
#             labelled set into build/eval/generated when it is missing or the
#             generator is newer, and evaluates the library on its holdout and
#             tune splits and on the recordings in ../shared/sounds
#             (SOUNDS=DIR for another folder, EVAL_ARGS for zv_eval options).
# make demo   installs what is missing, builds the plug-in, its libraries and
#             orq8-host (Release, build/demo), installs the plug-in folder and
#             the host into build/demo-prefix, makes the 60 s demonstration
#             scene with the sound generator, and runs
#             orq8-host --enable all over the scene and demo/recordings/:
#             events on stdout, summary on stderr, report in
#             build/demo-report.html.
# make package  builds the Debian package of the plug-in folder and the host
#             (build/demo/package/*.deb; apt install ./that-file.deb).
JOBS ?= 2
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := detector frame_assembler event_framework sdk_calls host_input
EVAL_DIR := build/eval
SOUNDS ?= ../shared/sounds
EVAL_ARGS ?=
DEMO_DIR := build/demo
DEMO_PREFIX := $(CURDIR)/build/demo-prefix
DEMO_SCENE := $(DEMO_DIR)/scene.wav
DEMO_REPORT := build/demo-report.html
DEMO_TARGETS := AudioAnalytics_Zelvani zv_memory zv_audio_analytics orq8-host

.PHONY: test deps bench eval clean demo demo-build package fuzz

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
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	ctest --preset fuzz

fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	@failed=""; \
	for t in $(FUZZ_TARGETS); do \
	  mkdir -p build/fuzz/corpus/$$t build/fuzz/artifacts/$$t; \
	  echo "fuzzing $$t for $(FUZZ_SECONDS) s"; \
	  build/fuzz/fuzz/zv_fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -timeout=20 -print_final_stats=1 \
	    -artifact_prefix=build/fuzz/artifacts/$$t/ build/fuzz/corpus/$$t fuzz/corpus/$$t \
	    || failed="$$failed $$t"; \
	done; \
	if [ -n "$$failed" ]; then echo "fuzz findings in:$$failed (see build/fuzz/artifacts/)"; exit 1; fi

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

demo-build: deps
	cmake -S . -B $(DEMO_DIR) -DCMAKE_BUILD_TYPE=Release -DZV_BUILD_TESTS=OFF
	cmake --build $(DEMO_DIR) -j $(JOBS) --target $(DEMO_TARGETS) zv_soundgen

demo: demo-build
	cmake --install $(DEMO_DIR) --prefix $(DEMO_PREFIX)
	@if [ ! -f $(DEMO_SCENE) ]; then \
	  gen=$$(find $(DEMO_DIR) -type f -name zv_soundgen -perm -u+x | head -n 1); \
	  echo "$$gen --scene $(DEMO_SCENE)"; \
	  "$$gen" --scene $(DEMO_SCENE).tmp.wav && mv $(DEMO_SCENE).tmp.wav $(DEMO_SCENE); \
	fi
	$(DEMO_PREFIX)/bin/orq8-host --enable all --log-level 2 --jobs 2 --report $(DEMO_REPORT) \
	  $(DEMO_SCENE) demo/recordings/*.wav
	@echo "report: $(DEMO_REPORT)"

package: demo-build
	cmake --build $(DEMO_DIR) -j $(JOBS)
	cd $(DEMO_DIR) && cpack -G DEB
	@ls -1 $(DEMO_DIR)/package/*.deb

clean:
	rm -rf build
