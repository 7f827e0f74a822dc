# Front door: each target sets up what is missing, then runs CMake's presets.
.PHONY: setup build run dist bench test tree-soak clean

setup:
	@bash scripts/setup.sh

# The Windows executable: build/windows/porkado-recovery.exe
build: setup
	cmake --preset windows
	cmake --build --preset windows

# build/windows/porkado-recovery-<version>.zip: executable, README.txt, SHA256SUMS
dist: build
	cmake --build --preset windows --target dist

# Runs the tool under Wine with the five keys planted; where this machine cannot
# run 32-bit code, the 64-bit build of the same sources stands in for it.
run: build
	cmake --preset windows-x64
	cmake --build --preset windows-x64
	bash scripts/run-under-wine.sh build/windows build/windows-x64

# Start-up, key-tree removal and size beside their yardsticks, under Wine.
bench: build
	cmake --preset windows-x64
	cmake --build --preset windows-x64
	bash scripts/bench.sh build/windows build/windows-x64

# The randomized tree-removal test at length: TREES trees (default 5000) from a
# fresh seed, or from SEED to replay one.
TREES ?= 5000
tree-soak: build
	cmake --preset windows-x64
	cmake --build --preset windows-x64
	bash scripts/tree-soak.sh build/windows build/windows-x64 $(TREES) $(SEED)

test: setup
	cmake --preset native
	cmake --build --preset native
	ctest --preset native
	cmake --preset windows
	cmake --build --preset windows
	ctest --preset windows
	cmake --preset windows-x64
	cmake --build --preset windows-x64
	ctest --preset windows-x64

clean:
	rm -rf build
