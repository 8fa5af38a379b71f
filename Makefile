# Everything a newcomer needs: `make test` sets up and runs every test.
SHELL := /bin/bash
.DEFAULT_GOAL := test

VENV := .venv
PY := $(VENV)/bin/python
APT_PACKAGES := g++ pkg-config libass-dev libjsoncpp-dev libuchardet-dev libpcre2-dev libexpat1-dev libgtest-dev mkvtoolnix chromium patch
# Only the fuzzers need clang and its fuzzing runtime.
FUZZ_APT_PACKAGES := clang libclang-rt-14-dev
CMAKE := $(VENV)/bin/cmake
CPP_BUILD := build/cpp
ASAN_BUILD := build/asan
BENCH_PLAIN_BUILD := build/bench-plain
# pip builds out of tree by default; this checkout keeps a cached build to stay quick.
PIP_BUILD := build/{wheel_tag}

.PHONY: setup test test-cpp test-asan test-py lint lint-format format bench bench-baseline demo mutants clean

setup: $(VENV)/.installed

# Re-run whenever the build description or sources change; cheap when nothing did.
$(VENV)/.installed: pyproject.toml CMakeLists.txt $(shell find modules c_quorvant -type f 2>/dev/null)
	@./tools/setup-system $(APT_PACKAGES)
	@test -x $(PY) || $$(./tools/find-python312) -m venv $(VENV)
	$(PY) -m pip install --quiet --upgrade pip
	$(PY) -m pip install --quiet "scikit-build-core>=0.10" "Cython>=3.0.11,<3.1" cmake ninja
	$(PY) -m pip install --quiet --no-build-isolation --config-settings=build-dir=$(PIP_BUILD) ".[test,bench,lint,dask,review]"
	@touch $@

# Lint last: a failing test says more than a format check.
test: test-cpp test-py lint

test-cpp: setup
	$(CMAKE) -S . -B $(CPP_BUILD) -G Ninja -DQUORVANT_BUILD_TESTS=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
	$(CMAKE) --build $(CPP_BUILD)
	$(VENV)/bin/ctest --test-dir $(CPP_BUILD) --output-on-failure

test-asan: setup
	$(CMAKE) -S . -B $(ASAN_BUILD) -G Ninja -DQUORVANT_BUILD_TESTS=ON -DQUORVANT_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
	$(CMAKE) --build $(ASAN_BUILD)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 $(VENV)/bin/ctest --test-dir $(ASAN_BUILD) --output-on-failure

test-py: setup
	$(VENV)/bin/pytest

CPP_SOURCES = $(shell find modules tests/cpp fuzz \( -name '*.cpp' -o -name '*.h' \)) $(wildcard bench/*.cpp)

# stubtest imports the installed extensions (setup keeps them current) and reads
# the stubs of this tree. The format checks come last: they name files to reformat.
# The benchmark's baseline is built here too (not run), so that it cannot drift from the core.
lint: setup bench-baseline
	$(VENV)/bin/ruff check --extend-ignore I .
	$(VENV)/bin/mypy
	$(VENV)/bin/stubtest --allowlist tests/typing/stubtest-allowlist.txt c_quorvant.modify_subs c_quorvant._api
	@$(MAKE) --no-print-directory lint-format

# Import order counts as formatting: `format` fixes it along with the layout.
lint-format: setup
	$(VENV)/bin/clang-format --dry-run --Werror $(CPP_SOURCES)
	$(VENV)/bin/ruff check --select I .
	$(VENV)/bin/ruff format --check .

format: setup
	$(VENV)/bin/clang-format -i $(CPP_SOURCES)
	$(VENV)/bin/ruff check --select I --fix .
	$(VENV)/bin/ruff format .

# The baseline extension compiles every rule for every text; only the benchmark uses it.
bench-baseline: setup
	$(CMAKE) -S . -B $(BENCH_PLAIN_BUILD) -G Ninja -DQUORVANT_BUILD_MODULE=ON -DQUORVANT_PLAIN_SUBSTITUTION=ON \
		-DCMAKE_BUILD_TYPE=Release -DPython_EXECUTABLE=$(abspath $(PY)) >/dev/null
	$(CMAKE) --build $(BENCH_PLAIN_BUILD) -j2 --target modify_subs

bench: bench-baseline
	$(PY) bench/run.py --plain-extension $$(ls $(BENCH_PLAIN_BUILD)/modify_subs*.so)
	$(PY) bench/matching.py
	$(PY) bench/characters.py
	$(PY) bench/diff.py
	$(PY) bench/batch.py

# Plants each of a fixed list of faults alone and runs the tests that should catch it;
# slow (a rebuild per fault), so not part of CI.
mutants: setup
	$(PY) tools/mutants.py

# The main job on the bundled samples, in a scratch directory so examples/ stays clean.
demo: setup
	rm -rf build/demo && mkdir -p build/demo
	cp examples/club-room.ass examples/evening-lesson.srt examples/honorifics.json examples/plain-honorifics.json build/demo/
	cd build/demo && ../../$(PY) ../../examples/demo.py

FUZZ_BUILD := build/fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := fuzz_wordlist fuzz_substitution fuzz_jit fuzz_character_jit fuzz_subrip fuzz_ass_lines fuzz_documents fuzz_webvtt fuzz_sami fuzz_ttml

.PHONY: fuzz
# Each libFuzzer target replays its regression inputs, then runs FUZZ_SECONDS.
fuzz: setup
	@./tools/setup-system $(FUZZ_APT_PACKAGES)
	$(CMAKE) -S . -B $(FUZZ_BUILD) -G Ninja -DQUORVANT_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	$(CMAKE) --build $(FUZZ_BUILD) -j2
	for target in $(FUZZ_TARGETS); do fuzz/run-target $(FUZZ_BUILD) $$target $(FUZZ_SECONDS) || exit 1; done

clean:
	rm -rf build $(VENV) .pytest_cache .hypothesis
