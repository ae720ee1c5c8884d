# The two commands of the README:
#   make run    builds Quarlin and runs it on the bundled dipole model
#   make test   builds and runs every test, also under ASan + UBSan, and the
#               validation suite
JOBS    ?= $(shell nproc)
BUILD   ?= build
ASAN    ?= build-asan
TSAN    ?= build-tsan
FUZZ    ?= build-fuzz
FUZZ_TARGET  ?= fuzz_model
FUZZ_SECONDS ?= 600
EXAMPLE ?= examples/dipole.ant
OUT     ?= out

CMAKE_GEN := -G Ninja

.PHONY: all deps build build-asan build-tsan run test test-release test-asan test-tsan validate fuzz bench format format-check clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	cmake -S . -B $(ASAN) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARLIN_SANITIZE=ON
	cmake --build $(ASAN) -j $(JOBS)

# ThreadSanitizer build of the whole suite, for changes to the parallel loop
# or to what runs inside it. Not part of `make test`: run it by hand.
build-tsan: deps
	cmake -S . -B $(TSAN) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARLIN_LAPACK=OFF \
	  -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread
	cmake --build $(TSAN) -j $(JOBS)

test-tsan: build-tsan
	TSAN_OPTIONS=halt_on_error=1 ctest --test-dir $(TSAN) --output-on-failure -j $(JOBS)

# libFuzzer on model files (needs clang): FUZZ_TARGET is fuzz_model (read,
# mesh, small solve) or fuzz_run (whole runs); findings land in $(FUZZ)/.
fuzz:
	cmake -S . -B $(FUZZ) $(CMAKE_GEN) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DQUARLIN_FUZZ=ON -DQUARLIN_TESTS=OFF -DQUARLIN_LAPACK=OFF
	cmake --build $(FUZZ) -j $(JOBS)
	mkdir -p $(FUZZ)/corpus-$(FUZZ_TARGET)
	cd $(FUZZ) && ./fuzz/$(FUZZ_TARGET) -dict=../fuzz/dict.txt -max_len=8192 -timeout=20 \
	  -max_total_time=$(FUZZ_SECONDS) corpus-$(FUZZ_TARGET) ../examples

run: build
	./$(BUILD)/quarlin $(EXAMPLE) -o $(OUT)

test-release: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-asan: build-asan
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN) --output-on-failure -j $(JOBS) -LE long

test: test-release test-asan format-check validate

# The validation suite (validation/checks.txt): every check's verdict and the
# summary; fails on a failing check that validation/known_failures.txt does
# not list, and on a listed one that passes again.
validate: build
	@scripts/validate.sh $(BUILD)/quarlin validation/checks.txt $(BUILD)/validation_out \
	  validation/known_failures.txt

bench: deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DQUARLIN_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS)

FORMAT_FILES = $(shell git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h' 2>/dev/null)

format:
	clang-format -i $(FORMAT_FILES)

# Fails when a source file differs from .clang-format's layout and prints the
# command that fixes it; skipped where clang-format is not installed.
format-check:
	@if command -v clang-format >/dev/null 2>&1; then \
	  if ! clang-format --dry-run --Werror $(FORMAT_FILES) >/dev/null 2>&1; then \
	    echo "source layout differs from .clang-format; fix it with: make format"; exit 1; \
	  else echo "format-check: layout ok"; fi; \
	else echo "format-check: clang-format not installed, skipped"; fi

clean:
	rm -rf $(BUILD) $(ASAN) $(TSAN) $(FUZZ) $(OUT)
