# The two commands of the README:
#   make run    builds Quarlin and runs it on the bundled dipole model
#   make test   builds and runs every test, also under ASan + UBSan, and the
#               validation suite; then the MPI build and its tests under
#               mpirun (QUARLIN_SKIP_MPI=1 leaves that part out)
JOBS    ?= $(shell nproc)
BUILD   ?= build
ASAN    ?= build-asan
TSAN    ?= build-tsan
MPI     ?= build-mpi
FUZZ    ?= build-fuzz
FUZZ_TARGET  ?= fuzz_model
FUZZ_SECONDS ?= 600
EXAMPLE ?= examples/dipole.ant
OUT     ?= out

CMAKE_GEN := -G Ninja
# The compiler cache, where there is one: the MPI build then takes every
# object but its own module from the default build's.
ifneq ($(shell command -v ccache 2>/dev/null),)
CMAKE_GEN += -DCMAKE_CXX_COMPILER_LAUNCHER=ccache
endif

.PHONY: all deps deps-mpi build build-asan build-tsan build-mpi run test test-release test-asan test-tsan test-mpi validate fuzz bench bench-mpi format format-check clean

all: build

deps:
	@scripts/install-deps.sh

deps-mpi:
	@scripts/install-deps.sh --mpi

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

# The MPI build (-DQUARLIN_MPI=ON): quarlin against OpenMPI and ScaLAPACK and
# the tests that run under mpirun, nothing else. Every object but the MPI
# module's compiles as in the default build, so the compiler cache serves it.
build-mpi: deps-mpi
	cmake -S . -B $(MPI) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DQUARLIN_MPI=ON
	cmake --build $(MPI) -j $(JOBS) --target quarlin mpi_tests

# The tests of label mpi: runs of 2 and 3 ranks against one process, and the
# failures that must end every rank alike. Each mpirun has a time limit.
test-mpi:
	@if [ -n "$(QUARLIN_SKIP_MPI)" ]; then echo "test-mpi: skipped (QUARLIN_SKIP_MPI)"; else \
	  $(MAKE) --no-print-directory build-mpi && \
	  ctest --test-dir $(MPI) --output-on-failure -L mpi; fi

test-release: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-asan: build-asan
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN) --output-on-failure -j $(JOBS) -LE long

test: test-release test-asan format-check validate test-mpi

# The validation suite (validation/checks.txt): every check's verdict and the
# summary; fails on a failing check that validation/known_failures.txt does
# not list, and on a listed one that passes again.
validate: build
	@scripts/validate.sh $(BUILD)/quarlin validation/checks.txt $(BUILD)/validation_out \
	  validation/known_failures.txt

bench: deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DQUARLIN_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS)

# The benchmark of runs over MPI ranks: $(MPI)/bench/bench_dist_mpi, alone
# and under mpirun (bench/README.md).
bench-mpi: deps-mpi
	cmake -S . -B $(MPI) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DQUARLIN_MPI=ON -DQUARLIN_BENCH=ON
	cmake --build $(MPI) -j $(JOBS) --target bench_dist_mpi

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
	rm -rf $(BUILD) $(ASAN) $(TSAN) $(MPI) $(FUZZ) $(OUT)
