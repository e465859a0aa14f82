# Quelt: build, demo and test entry points.
#   make demo   install what is missing, build, solve examples/demo.cnf
#   make test   build the release and the sanitizer configuration and run
#               the whole test suite in both
#   make bench  build, then run quelt against minisat and cadical on the
#               shared benchmark set (bench/README.md)

PACKAGES := cmake g++ make libboost-program-options-dev libboost-iostreams-dev libgtest-dev xz-utils minisat
JOBS ?= 2
BUILD := build
ASAN_BUILD := build-asan

.PHONY: all deps build build-asan demo test test-release test-asan bench clean

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

demo: build
	-./$(BUILD)/quelt --dimacs examples/demo.cnf --model-stdout

test-release: build
	cd $(BUILD) && ctest -j$(JOBS) --output-on-failure

test-asan: build-asan
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest -j$(JOBS) --output-on-failure

test: test-release test-asan

# The peers and the plotter are needed here only, not by the build or tests.
BENCH_PACKAGES := gnuplot-nox cadical

bench: build
	@missing=""; for p in $(BENCH_PACKAGES); do \
	  dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing:$$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	  else echo "Missing packages (install as root):$$missing; running without them"; fi; \
	fi
	python3 bench/run.py --quelt $(BUILD)/quelt-bench --out bench/results

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
