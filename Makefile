# Quelt: build, demo and test entry points.
#   make demo   install what is missing, build, solve examples/demo.cnf
#   make test   build the release and the sanitizer configuration, run the
#               whole test suite in both, then a short fuzzing run and a
#               short differential run (fuzz-short, difftest-short)
#   make test-tsan  the test program under ThreadSanitizer (build-tsan;
#               not part of make test)
#   make install    build, then install the program, its man page and bash
#               completion, the library, headers, pkg-config file and CMake
#               package under PREFIX (default /usr/local), and quelt-mpi
#               where it was built
#   make package    build, then the Debian package build/package/quelt_<version>_<arch>.deb
#   make fuzz   build the libFuzzer targets with clang++ and run each for
#               FUZZ_SECONDS (tests/fuzz/README.md)
#   make bench  build, then run six quelt configurations (default,
#               --preprocess, --threads 2, both, --modern, --modern
#               --threads 2) against minisat, cadical 1.5.3, Kissat and
#               CaDiCaL 2.2 on the shared benchmark set and generated
#               families; BENCH_ONLY=LABEL,... runs a subset of the columns,
#               BENCH_ARGS passes more runner options (bench/README.md)
#   make bench-incremental
#               build, then time quelt (through IPASIR) against CaDiCaL's
#               library (2.2 from ../shared/peers when there, else Debian's)
#               on bounded-model-checking sequences (bench/README.md)

PACKAGES := cmake g++ make libboost-program-options-dev libboost-iostreams-dev libgtest-dev xz-utils minisat pkg-config \
  zlib1g-dev libbz2-dev liblzma-dev \
  libclang-rt-14-dev python3-dev python3-pip pybind11-dev libcadical-dev \
  help2man dpkg-dev man-db libopenmpi-dev openmpi-bin
JOBS ?= 2
BUILD := build
ASAN_BUILD := build-asan
TSAN_BUILD := build-tsan
FUZZ_BUILD := build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := fuzz_dimacs fuzz_compressed
DIFFTEST_SEED ?= 1
DIFFTEST_COUNT ?= 300

.PHONY: all deps build build-asan build-fuzz demo test test-release test-asan test-tsan fuzz fuzz-short \
  difftest-short bench bench-incremental install package clean

all: build

# Installs missing Debian packages when run as root; otherwise only reports.
deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing:$$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	  else echo "Missing packages (install as root):$$missing"; exit 1; fi; \
	fi

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j$(JOBS)

build-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DQUELT_SANITIZE=ON >/dev/null
	cmake --build $(ASAN_BUILD) -j$(JOBS)

# The exit status of a solved run is the verdict (10 or 20), not a failure.
demo: build
	@./$(BUILD)/quelt --dimacs examples/demo.cnf --model-stdout; status=$$?; \
	  echo "c exit status $$status"; [ $$status -eq 10 ] || [ $$status -eq 20 ] || [ $$status -eq 0 ]

PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)
	if [ -x $(BUILD)/quelt-mpi ]; then cmake --install $(BUILD) --prefix $(PREFIX) --component mpi; fi

package: build
	cd $(BUILD) && cpack -G DEB -B package

test-release: build
	cd $(BUILD) && ctest -j$(JOBS) --output-on-failure

test-asan: build-asan
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest -j$(JOBS) --output-on-failure

test: test-release test-asan fuzz-short difftest-short

# Data races, where several threads run: --threads and the library's
# interrupt from another thread. Any report fails the run.
test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS=-fsanitize=thread \
	  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DQUELT_STATIC=OFF -DQUELT_LIBRARY=OFF >/dev/null
	cmake --build $(TSAN_BUILD) -j$(JOBS) --target quelt quelt_tests drat-check
	TSAN_OPTIONS="halt_on_error=1 exitcode=66" $(TSAN_BUILD)/tests/quelt_tests

build-fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DQUELT_FUZZ=ON -DQUELT_TESTS=OFF >/dev/null
	cmake --build $(FUZZ_BUILD) -j$(JOBS)

# Each target runs for FUZZ_SECONDS from the seed corpus in tests/fuzz/corpus
# plus what earlier runs found (kept in build-fuzz/corpus); a finding is
# written to build-fuzz/artifacts and fails the target.
fuzz: build-fuzz
	@mkdir -p $(FUZZ_BUILD)/artifacts
	@for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$t; \
	  echo "fuzzing $$t for $(FUZZ_SECONDS) s"; \
	  ./$(FUZZ_BUILD)/tests/fuzz/$$t -max_total_time=$(FUZZ_SECONDS) -max_len=8192 -timeout=30 \
	    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=$(FUZZ_BUILD)/artifacts/$$t- \
	    $(FUZZ_BUILD)/corpus/$$t tests/fuzz/corpus/$$t > $(FUZZ_BUILD)/$$t.log 2>&1 \
	  || { tail -n 60 $(FUZZ_BUILD)/$$t.log; echo "fuzz: $$t failed"; exit 1; }; \
	  grep -E "^stat::number_of_executed_units|^Done" $(FUZZ_BUILD)/$$t.log || true; \
	done

fuzz-short:
	$(MAKE) fuzz FUZZ_SECONDS=30

# A few hundred generated formulas with random configurations through the
# sanitizer build, against minisat (tests/fuzz/README.md).
difftest-short: build build-asan
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  python3 tests/fuzz/difftest.py --seed $(DIFFTEST_SEED) --count $(DIFFTEST_COUNT) --jobs $(JOBS) \
	  --timeout 10 --quelt $(ASAN_BUILD)/quelt --drat-check $(BUILD)/tests/drat-check \
	  --out $(ASAN_BUILD)/difftest-failures

# The peers and the plotter are needed here only, not by the build or tests.
BENCH_PACKAGES := gnuplot-nox cadical minisat
# The shared instance set, and the generated families written beside the build.
BENCH_SET ?= $(if $(QUELT_BENCH_DIR),$(QUELT_BENCH_DIR),../shared/bench)
BENCH_FAMILIES := $(BUILD)/bench-families
# The columns of make bench: seven quelt configurations (two threads share
# clauses unless --no-share), then the peers
# (minisat and cadical from Debian, kissat and cadical2 from ../shared/peers).
# A configuration whose options this build refuses is marked in the summary
# and not run (bench/README.md).
BENCH_CONFIGS ?= --config quelt= --config quelt-pre=--preprocess \
  --config "quelt-t2=--threads 2" --config "quelt-t2-pre=--threads 2 --preprocess" \
  --config quelt-modern=--modern --config "quelt-modern-t2=--modern --threads 2" \
  --config "quelt-modern-t2-noshare=--modern --threads 2 --no-share"
# A subset of the columns by label, e.g. BENCH_ONLY=quelt,quelt-modern,kissat;
# more runner options, e.g. BENCH_ARGS="--limit 10 --filter '^hole'".
BENCH_ONLY ?=
BENCH_ARGS ?=

bench: build
	@missing=""; for p in $(BENCH_PACKAGES); do \
	  dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing:$$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	  else echo "Missing packages (install as root):$$missing; running without them"; fi; \
	fi
	python3 bench/families.py --out $(BENCH_FAMILIES)
	python3 bench/run.py --quelt $(BUILD)/quelt-bench --out bench/results $(BENCH_CONFIGS) \
	  --manifest $(BENCH_SET)/manifest.tsv --manifest $(BENCH_FAMILIES)/manifest.tsv \
	  $(if $(BENCH_ONLY),--only $(BENCH_ONLY)) $(BENCH_ARGS)

# One process per family, each running quelt then CaDiCaL on one formula
# growing step by step with a solve per step; recall assumes variables of
# old steps that neither solver was told to keep.
bench-incremental: build
	./$(BUILD)/bench-incremental --family counter --bits 8
	./$(BUILD)/bench-incremental --family miter --bits 5 --timer 11
	./$(BUILD)/bench-incremental --family miter --bits 8 --steps 500
	./$(BUILD)/bench-incremental --family recall --bits 8 --lag 64 --steps 1000

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
