# The two set-up commands of the README (`make demo`, `make test`) start here.
# Both install missing Debian packages first, so they work on a fresh machine.

BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

DEB_PACKAGES := cmake ninja-build g++ make qt6-base-dev
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps configure build test demo sanitize bench fuzz mutants clean

all: build

deps:
	@missing=""; \
	for p in $(DEB_PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing Debian packages:$$missing"; \
	  $(SUDO) apt-get update && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends $$missing; \
	fi

$(BUILD_DIR)/build.ninja: | deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

configure: $(BUILD_DIR)/build.ninja

build: deps configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The whole suite under AddressSanitizer (leaks included) and
# UndefinedBehaviorSanitizer, in a build folder of its own. Leaks inside Qt's
# and the system's libraries are suppressed (tools/lsan.supp); ours are not.
SANITIZE_DIR ?= build-sanitize
sanitize: deps
	cmake -S . -B $(SANITIZE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	cd $(SANITIZE_DIR) && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

# Whole commands timed on generated long takes, a wide and a deep skeleton,
# beside a plain parse of the same files (bench/README.md). Release build in
# its own folder; the asset-import library's command line, when it can be
# installed, is timed too.
BENCH_DIR ?= build-bench
bench: deps
	@dpkg-query -W -f='$${Status}' assimp-utils 2>/dev/null | grep -q "install ok installed" || { \
	  echo "Installing Debian packages: assimp-utils"; \
	  $(SUDO) apt-get update && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends assimp-utils \
	  || echo "assimp-utils could not be installed; timing without it"; }
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BENCH_DIR) -j $(JOBS) --target kvbvh_app kvbvh bench_floor bench_commands
	$(BENCH_DIR)/bin/bench_commands --bin $(BENCH_DIR)/bin --samples data/bvh --work $(BENCH_DIR)/bench-files \
	  --results bench/RESULTS.md --label "commit $$(git rev-parse --short HEAD 2>/dev/null || echo unknown)"

# A CMU take (forward jumps, 23 s at 120 fps) retargeted onto the default
# figure for Second Life, at the 30 fps its animators use, and a contact sheet
# of what was written. The demo keeps its settings (the stored maps) in out/,
# away from the user's own.
DEMO_INPUT := data/bvh/cmu_01_01_jumps_mb.bvh
DEMO_OUTPUT := out/demo.bvh
DEMO_PREVIEW := out/demo.png

demo: build
	@mkdir -p $(dir $(DEMO_OUTPUT))
	@echo "Converting $(DEMO_INPUT) onto the default figure for Second Life:"
	@$(BUILD_DIR)/bin/kvbvh --settings out/demo-settings.ini convert $(DEMO_INPUT) -o $(DEMO_OUTPUT) --second-life --fps 30
	@echo "Wrote $(abspath $(DEMO_OUTPUT)); what it holds:"
	@$(BUILD_DIR)/bin/kvbvh info $(DEMO_OUTPUT) | grep -E '^(Joints|Frames|Frame time|Duration)'
	@echo "Drawing eight frames of it from the front and the side:"
	@$(BUILD_DIR)/bin/kvbvh --settings out/demo-settings.ini preview $(DEMO_OUTPUT) -o $(DEMO_PREVIEW)
	@echo "Wrote $(abspath $(DEMO_PREVIEW))"

# libFuzzer programs (fuzz/) built with clang in a folder of their own, each
# run in turn for FUZZ_SECONDS on a corpus seeded from data/ and from files
# the kvbvh command writes. Every file a run writes, its settings included,
# stays in a scratch folder. Inputs that crash or hang land in
# $(FUZZ_DIR)/artifacts; the last statistics line of each run is printed.
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := fuzz_import fuzz_maps fuzz_bvhfigure fuzz_json
FUZZ_PACKAGES := clang-14 libclang-rt-14-dev
FUZZ_KVBVH := ASAN_OPTIONS=detect_leaks=0 $(FUZZ_DIR)/bin/kvbvh --settings $(FUZZ_DIR)/seeds/settings.ini --quiet
fuzz:
	@$(MAKE) --no-print-directory deps DEB_PACKAGES="$(DEB_PACKAGES) $(FUZZ_PACKAGES)"
	cmake -S . -B $(FUZZ_DIR) -G Ninja -DKV_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
	  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target $(FUZZ_TARGETS) kvbvh_app
	rm -rf $(FUZZ_DIR)/seeds && mkdir -p $(FUZZ_DIR)/seeds/bvh $(FUZZ_DIR)/seeds/maps $(FUZZ_DIR)/seeds/json $(FUZZ_DIR)/artifacts
	cp data/bvh/*.bvh $(FUZZ_DIR)/seeds/bvh/
	$(FUZZ_KVBVH) figure export default -o $(FUZZ_DIR)/seeds/json/default-figure.json
	$(FUZZ_KVBVH) figure export data/bvh/sl_tpose_qavimator.bvh -o $(FUZZ_DIR)/seeds/json/tpose-figure.json
	$(FUZZ_KVBVH) import data/bvh/sl_tpose_qavimator.bvh -o $(FUZZ_DIR)/seeds/json/tpose-scene.json
	$(FUZZ_KVBVH) import data/bvh/bvhio_blank_lines.bvh -o $(FUZZ_DIR)/seeds/json/blank-lines-scene.json
	$(FUZZ_KVBVH) maps export SecondLife $(FUZZ_DIR)/seeds/maps/secondlife.map
	printf 'SecondLife;walk;\n' | cat - $(FUZZ_DIR)/seeds/maps/secondlife.map > $(FUZZ_DIR)/seeds/maps/listed.map
	printf 'walk;\nHips=hip;Chest=chest;Neck=neck;LeftUpLeg=lThigh;\n' > $(FUZZ_DIR)/seeds/maps/walk.map
	@for t in $(FUZZ_TARGETS); do \
	  case $$t in fuzz_maps) seeds=maps;; fuzz_json) seeds=json;; *) seeds=bvh;; esac; \
	  mkdir -p $(FUZZ_DIR)/corpus/$$t $(FUZZ_DIR)/logs/$$t; \
	  echo "Fuzzing $$t for $(FUZZ_SECONDS) s"; \
	  ( cd $(FUZZ_DIR)/logs/$$t && QT_QPA_PLATFORM=offscreen \
	    LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp:print_suppressions=0 \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    ../../bin/$$t -max_total_time=$(FUZZ_SECONDS) -jobs=1 -workers=1 -max_len=65536 -timeout=25 \
	      -artifact_prefix=$(CURDIR)/$(FUZZ_DIR)/artifacts/$$t- \
	      $(CURDIR)/$(FUZZ_DIR)/corpus/$$t $(CURDIR)/$(FUZZ_DIR)/seeds/$$seeds ) || status=1; \
	  grep -E '^#[0-9]+' $(FUZZ_DIR)/logs/$$t/fuzz-0.log | tail -1; \
	done; \
	ls $(FUZZ_DIR)/artifacts; exit $${status:-0}

# Mutation testing (tools/mutants.py): the committed tree copied into
# $(MUTANTS_DIR), built and tested once, then once per single realistic fault
# with every test that catches it recorded; the report lands in
# $(MUTANTS_DIR)/report.md. The tests run with their home and settings in a
# scratch folder. MUTANTS_ARGS passes options on (--only ID,ID, --list).
MUTANTS_DIR ?= build-mutants
MUTANTS_ARGS ?=
mutants: deps
	@dpkg-query -W -f='$${Status}' python3 2>/dev/null | grep -q "install ok installed" || { \
	  echo "Installing Debian packages: python3"; \
	  $(SUDO) apt-get update && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends python3; }
	python3 tools/mutants.py --work $(MUTANTS_DIR) -j 1 $(MUTANTS_ARGS)

clean:
	rm -rf $(BUILD_DIR)
