// Measures, inside Wine, what `make bench` reports.
//
//   bench_driver startup TOOL.exe MINIMAL.exe RUNS
//       milliseconds from CreateProcess to the first box on screen, the two
//       programs started in turn; prints the two medians
//   bench_driver tree SUB_KEYS RUNS
//       milliseconds to remove a key holding SUB_KEYS sub-keys (each with a
//       value): the tool's own removal, then the platform's RegDeleteTreeW on
//       the same tree planted again, in the same process, in pairs; prints the
//       two medians
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/registry_tree.h"

namespace {

double now_ms() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct BoxSearch {
    DWORD process_id;
    HWND box;
};

BOOL CALLBACK find_box(HWND window, LPARAM parameter) {
    BoxSearch& search = *reinterpret_cast<BoxSearch*>(parameter);
    DWORD owner = 0;
    wchar_t class_name[16];
    GetWindowThreadProcessId(window, &owner);
    if (owner != search.process_id || !IsWindowVisible(window) || GetClassNameW(window, class_name, 16) == 0 ||
        lstrcmpW(class_name, L"#32770") != 0)
        return TRUE;
    search.box = window;
    return FALSE;
}

// Starts a program with its console output thrown away.
PROCESS_INFORMATION start(const std::wstring& command_line) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = nul;
    PROCESS_INFORMATION process = {};
    std::wstring writable = command_line;
    const BOOL started =
        CreateProcessW(nullptr, &writable[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(nul);
    if (!started) {
        std::fprintf(stderr, "cannot start %ls\n", command_line.c_str());
        std::exit(2);
    }
    return process;
}

void finish(PROCESS_INFORMATION& process) {
    if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "a process did not end\n");
        std::exit(2);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

// Starts the program, waits for its box, answers No.
double time_to_box(const std::wstring& program) {
    const double started = now_ms();
    PROCESS_INFORMATION process = start(L"\"" + program + L"\"");
    BoxSearch search = {process.dwProcessId, nullptr};
    for (int poll = 0; poll < 30000 && search.box == nullptr; ++poll) {
        EnumWindows(find_box, reinterpret_cast<LPARAM>(&search));
        if (search.box == nullptr) Sleep(1);
    }
    const double shown = now_ms();
    if (search.box == nullptr) {
        std::fprintf(stderr, "no box from %ls\n", program.c_str());
        std::exit(2);
    }
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(GetDlgItem(search.box, IDNO), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    finish(process);
    return shown - started;
}

int startup(const wchar_t* tool, const wchar_t* minimal, int runs) {
    std::vector<double> tool_times, minimal_times;
    time_to_box(tool);  // warm the caches for both
    time_to_box(minimal);
    for (int run = 0; run < runs; ++run) {
        tool_times.push_back(time_to_box(tool));
        minimal_times.push_back(time_to_box(minimal));
    }
    std::printf("%.1f %.1f\n", median(tool_times), median(minimal_times));
    return 0;
}

constexpr wchar_t kTreePath[] = L"Software\\Bench Tree";

void plant_tree(int sub_keys) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kTreePath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    wchar_t name[32];
    for (int i = 0; i < sub_keys; ++i) {
        std::swprintf(name, 32, L"entry %06d", i);
        HKEY child = nullptr;
        RegCreateKeyExW(key, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr);
        RegSetValueExW(child, L"Value", 0, REG_SZ, reinterpret_cast<const BYTE*>(name),
                       static_cast<DWORD>((lstrlenW(name) + 1) * sizeof(wchar_t)));
        RegCloseKey(child);
    }
    RegCloseKey(key);
}

// Times one removal of a freshly planted tree.
template <typename Removal>
double time_removal(int sub_keys, Removal removal) {
    plant_tree(sub_keys);
    const double started = now_ms();
    const LONG status = removal();
    const double elapsed = now_ms() - started;
    HKEY left = nullptr;
    if (status != ERROR_SUCCESS || RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTreePath, 0, KEY_READ, &left) == ERROR_SUCCESS) {
        std::fprintf(stderr, "the tree was not removed (%ld)\n", status);
        std::exit(2);
    }
    return elapsed;
}

int tree(int sub_keys, int runs) {
    const NtDeleteKeyFunction nt_delete_key = find_nt_delete_key();
    std::vector<double> ours, platform;
    for (int run = 0; run < runs; ++run) {
        ours.push_back(time_removal(sub_keys, [&] {
            return delete_key_tree(HKEY_LOCAL_MACHINE, "Software\\Bench Tree", nt_delete_key);
        }));
        platform.push_back(time_removal(sub_keys, [] { return RegDeleteTreeW(HKEY_LOCAL_MACHINE, kTreePath); }));
    }
    std::printf("%.1f %.1f\n", median(ours), median(platform));
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 5 && lstrcmpW(argv[1], L"startup") == 0) return startup(argv[2], argv[3], _wtoi(argv[4]));
    if (argc == 4 && lstrcmpW(argv[1], L"tree") == 0) return tree(_wtoi(argv[2]), _wtoi(argv[3]));
    std::fprintf(stderr, "usage: bench_driver startup TOOL MINIMAL RUNS | tree SUB_KEYS RUNS\n");
    return 2;
}
