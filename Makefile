# Front door: each target sets up what is missing, then runs CMake's presets.
.PHONY: setup build test clean

setup:
	@bash scripts/setup.sh

# The Windows executable: build/windows/porkado-recovery.exe
build: setup
	cmake --preset windows
	cmake --build --preset windows

test: setup
	cmake --preset native
	cmake --build --preset native
	ctest --preset native
	cmake --preset windows
	cmake --build --preset windows
	ctest --preset windows

clean:
	rm -rf build
