# Front door: each target sets up what is missing, then runs CMake's presets.
.PHONY: setup build build-x64 run dist verify-release bench test test-in-vm tree-soak clean

setup:
	@bash scripts/setup.sh

# The Windows executable: build/windows/porkado-recovery.exe
build: setup
	cmake --preset windows
	cmake --build --preset windows

# build/windows/porkado-recovery-<version>.zip: executable, README.txt, SHA256SUMS;
# signed when SIGNING_PKCS12 and SIGNING_PASSWORD_FILE name a key (see the README).
dist: build
	cmake --build --preset windows --target dist

# Checks a downloaded archive against this checkout: make verify-release ZIP=<archive> [CA=<file>]
ifneq ($(filter verify-release,$(MAKECMDGOALS)),)
ifeq ($(ZIP),)
$(error name the archive: make verify-release ZIP=porkado-recovery-<version>.zip [CA=<file>])
endif
endif
verify-release: build
	bash scripts/verify-release.sh "$(ZIP)" build/windows/porkado-recovery.exe $(CA)

# The same sources for 64-bit Windows, which stands in under Wine where this
# machine cannot run 32-bit code.
build-x64: setup
	cmake --preset windows-x64
	cmake --build --preset windows-x64

# Runs the tool under Wine with the five keys planted.
run: build build-x64
	bash scripts/run-under-wine.sh build/windows build/windows-x64

# Start-up, key-tree removal and size beside their yardsticks, under Wine.
bench: build build-x64
	bash scripts/bench.sh build/windows build/windows-x64

# The randomized tree-removal test at length: TREES trees (default 5000) from a
# fresh seed, or from SEED to replay one.
TREES ?= 5000
tree-soak: build build-x64
	bash scripts/tree-soak.sh build/windows build/windows-x64 $(TREES) $(SEED)

test: setup
	cmake --preset native
	cmake --build --preset native
	ctest --preset native
	cmake --preset windows-x64
	cmake --build --preset windows-x64
	ctest --preset windows-x64
	cmake --preset windows
	cmake --build --preset windows
	ctest --preset windows

# The test command in a virtual machine whose kernel runs 32-bit code, for
# machines whose kernel does not: there the end-to-end tests run the 32-bit
# executable itself.
test-in-vm:
	@bash scripts/setup.sh qemu-system-x86 debootstrap
	bash scripts/test-in-vm.sh

clean:
	rm -rf build
