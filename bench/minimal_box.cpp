// The smallest program that shows a question box: the yardstick for the tool's
// start-up time and size. Built with the same toolchain and flags.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    MessageBoxA(nullptr, "?", "minimal", MB_YESNO | MB_ICONQUESTION);
    return 0;
}
