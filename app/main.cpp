#include <windows.h>

#include "app/win32_platform.h"
#include "recovery/recovery_run.h"

// Arguments and show state are not used: the boxes are the whole interface.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    Win32Platform platform;
    return recovery::run_recovery(platform);
}
