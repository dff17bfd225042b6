# Top-level commands. Every target installs what it needs first (scripts/install.sh is quick
# when everything is already there), then configures and builds with CMake + Ninja.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all install configure build test demo bench sanitize fuzz clean

all: build

install:
	@bash scripts/install.sh

configure: install
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# check_deps.py: every file the build takes from /usr comes from a package install.sh brings.
test: build
	@python3 scripts/check_deps.py $(BUILD)
	@QT_QPA_PLATFORM=offscreen ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

demo: build
	@bash scripts/demo.sh $(BUILD)

bench: build
	@bash scripts/bench.sh $(BUILD)

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer (clang), child processes
# included: a report anywhere fails the run.
sanitize: install
	@bash scripts/install.sh clang
	@CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=undefined" >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@python3 scripts/check_deps.py build-asan
	@rm -rf build-asan/sanitizer-logs && mkdir -p build-asan/sanitizer-logs
	@QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0:log_path=$(CURDIR)/build-asan/sanitizer-logs/asan \
	  UBSAN_OPTIONS=log_path=$(CURDIR)/build-asan/sanitizer-logs/ubsan \
	  ctest --test-dir build-asan --output-on-failure -j $(JOBS)
	@if ls build-asan/sanitizer-logs/* >/dev/null 2>&1; then cat build-asan/sanitizer-logs/*; exit 1; fi

# libFuzzer binaries of fuzz/ (clang); run one with: build-fuzz/fuzz/intake_fuzz -max_total_time=60 DIR
fuzz: install
	@bash scripts/install.sh clang
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTIS_FUZZ=ON \
	  -DVANTIS_PARTS="korvex;tallox;tools/mocsim;fuzz" \
	  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fsanitize=fuzzer-no-link" >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target intake_fuzz korvex_text_fuzz korvex_db_fuzz resource_fuzz tallox_table_fuzz

clean:
	rm -rf $(BUILD)
