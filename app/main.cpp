#include <windows.h>

#include "app/win32_platform.h"
#include "recovery/recovery_run.h"

namespace {

// Windows looks for a DLL loaded by name in the program's own folder first. Run
// elevated from a Downloads folder, the tool would load whatever a web page
// dropped there under a system DLL's name (uxtheme.dll, loaded with the first
// themed box, say). From here on, only the system folder is searched. The call
// exists on Windows 8 and later, and on Vista and 7 with KB2533623; it is looked
// up, not imported, so that older Windows still load the tool.
void restrict_dll_search_to_system_folder() {
    // decltype names the declared type, calling convention included, without importing it.
    const auto set_default_dll_directories = reinterpret_cast<decltype(&SetDefaultDllDirectories)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
    if (set_default_dll_directories != nullptr) set_default_dll_directories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

// Arguments and show state are not used: the boxes are the whole interface.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    restrict_dll_search_to_system_folder();
    Win32Platform platform;
    return recovery::run_recovery(platform);
}
