#pragma once

// The few Win32 codes the procedure tests its platform results against. On
// Windows they come from <windows.h>; elsewhere (the native build that runs the
// procedure against a scripted fake) they are defined here with the values the
// platform gives them.

#if defined(_WIN32)
#include <windows.h>
#else
constexpr unsigned MB_OK = 0x00000000;
constexpr unsigned MB_YESNO = 0x00000004;
constexpr unsigned MB_ICONERROR = 0x00000010;
constexpr unsigned MB_ICONQUESTION = 0x00000020;

constexpr int IDOK = 1;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

constexpr long ERROR_SUCCESS = 0;
constexpr long ERROR_FILE_NOT_FOUND = 2;
constexpr long ERROR_ACCESS_DENIED = 5;
#endif
