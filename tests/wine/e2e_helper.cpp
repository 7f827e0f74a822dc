// Test helper for the end-to-end tests under Wine. It plants registry states,
// reports which keys survive, and answers the tool's message boxes. It uses the
// W functions throughout, so key names reach the registry exactly as written
// here, whatever the locale of the shell that started it.
//
//   e2e_helper plant LAYOUT...        LAYOUT: five siblings refused:N link-tree:N link-leaf:N
//                                             link-dangling:N link-back:N link-row:N link-row-tree:N
//                                             unmappable:N large:N deep:N
//   e2e_helper dump                   one line per watched key: LABEL absent | present SUBKEYS VALUES
//   e2e_helper answer BUTTON [TEXT]   waits for the tool's box (with that text, as hex of its
//                                     ANSI bytes), prints "box HEX", clicks BUTTON (0: none)
#include <windows.h>
#include <winternl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

constexpr wchar_t kToolTitle[] = L"ﾎﾟﾙｶﾄﾞｰﾘｵ　インストールリカバ";

constexpr wchar_t kMenuOrder[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\ﾌﾟﾛｸﾞﾗﾑ(&P)";

struct Key {
    const char* label;
    HKEY root;
    std::wstring path;
};

// The tool's five keys, in its order, then the keys it must leave alone.
const Key kWatched[] = {
    {"row1", HKEY_CURRENT_USER, std::wstring(kMenuOrder) + L"\\ﾎﾟﾙｶﾄﾞｰﾘｵ"},
    {"row2", HKEY_LOCAL_MACHINE, L"SOFTWARE\\TAVRO\\ﾎﾟﾙｶﾄﾞｰﾘｵ"},
    {"row3", HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ﾎﾟﾙｶﾄﾞｰﾘｵ"},
    {"row4", HKEY_USERS, L".Default\\" + std::wstring(kMenuOrder) + L"\\ﾎﾟﾙｶﾄﾞｰﾘｵ"},
    {"row5", HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\porkado.exe"},
    {"publisher", HKEY_LOCAL_MACHINE, L"SOFTWARE\\TAVRO"},
    {"other-app", HKEY_LOCAL_MACHINE, L"SOFTWARE\\TAVRO\\Other App"},
    {"name-prefixed-app", HKEY_LOCAL_MACHINE, L"SOFTWARE\\TAVRO\\ﾎﾟﾙｶﾄﾞｰﾘｵ Viewer"},
    {"other-uninstall", HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other App"},
    {"other-app-path", HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\porkado-viewer.exe"},
    {"other-menu-folder", HKEY_CURRENT_USER, std::wstring(kMenuOrder) + L"\\ｱｸｾｻﾘ"},
    {"link-target-tree", HKEY_LOCAL_MACHINE, L"Software\\E2E Link Target Tree"},
    {"link-target-leaf", HKEY_LOCAL_MACHINE, L"Software\\E2E Link Target Leaf"},
    {"link-target-grandchild", HKEY_LOCAL_MACHINE, L"Software\\E2E Link Target Tree\\Child A\\Grandchild"},
    {"link-nowhere", HKEY_LOCAL_MACHINE, L"Software\\E2E Nowhere"},
};
constexpr int kRows = 5;

[[noreturn]] void fail(const char* what, long status) {
    std::fprintf(stderr, "e2e_helper: %s failed (%ld)\n", what, status);
    std::exit(2);
}

HKEY create(HKEY parent, const std::wstring& path, DWORD options = 0) {
    HKEY key = nullptr;
    const LONG status = RegCreateKeyExW(parent, path.c_str(), 0, nullptr, options,
                                        KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) fail("RegCreateKeyExW", status);
    return key;
}

void set_string(HKEY key, const wchar_t* name, const wchar_t* value) {
    const LONG status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                       static_cast<DWORD>((std::wcslen(value) + 1) * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS) fail("RegSetValueExW", status);
}

// A key with two values and a nested sub-key holding one: what an installer leaves.
void plant_populated(HKEY root, const std::wstring& path) {
    HKEY key = create(root, path);
    set_string(key, L"Version", L"1.0");
    set_string(key, L"InstallDir", L"C:\\Program Files\\TAVRO\\ﾎﾟﾙｶﾄﾞｰﾘｵ");
    HKEY nested = create(key, L"Settings\\Window");
    set_string(nested, L"Left", L"100");
    RegCloseKey(nested);
    RegCloseKey(key);
}

const Key& row(const char* argument) {
    const int n = std::atoi(argument);
    if (n < 1 || n > kRows) fail("row number", n);
    return kWatched[n - 1];
}

// A sub-key whose name holds a NUL: no Win32 name reaches it, so its parent
// cannot be deleted.
void plant_unreachable_child(const Key& parent) {
    using NtCreateKeyFn = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, ULONG, PUNICODE_STRING, ULONG, PULONG);
    const auto nt_create_key = reinterpret_cast<NtCreateKeyFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtCreateKey")));
    HKEY key = create(parent.root, parent.path);
    wchar_t name[] = L"locked\0child";
    UNICODE_STRING unicode_name = {sizeof name - sizeof(wchar_t), sizeof name, name};
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &unicode_name, OBJ_CASE_INSENSITIVE, key, nullptr);
    HANDLE child = nullptr;
    const LONG status = nt_create_key(&child, KEY_ALL_ACCESS, &attributes, 0, nullptr, 0, nullptr);
    if (status != 0) fail("NtCreateKey", status);
    CloseHandle(child);
    RegCloseKey(key);
}

const Key& watched(const char* label) {
    for (const Key& key : kWatched) {
        if (std::strcmp(key.label, label) == 0) return key;
    }
    fail(label, 0);
}

// The native name of a key under HKEY_LOCAL_MACHINE, which is what a link holds.
std::wstring machine_key(const Key& key) {
    if (key.root != HKEY_LOCAL_MACHINE) fail(key.label, 0);
    return L"\\Registry\\Machine\\" + key.path;
}

// The key a link points at, with values (and sub-keys) that must survive.
std::wstring plant_link_target(const char* label, bool with_sub_keys) {
    const Key& target = watched(label);
    HKEY key = create(target.root, target.path);
    set_string(key, L"Precious", L"must survive");
    set_string(key, L"Also", L"must survive");
    if (with_sub_keys) {
        RegCloseKey(create(key, L"Child A\\Grandchild"));
        RegCloseKey(create(key, L"Child B"));
    }
    RegCloseKey(key);
    return machine_key(target);
}

// A registry symbolic link at root\path, pointing at the key named nt_path.
void plant_link(HKEY root, const std::wstring& path, const std::wstring& nt_path) {
    HKEY link = create(root, path, REG_OPTION_CREATE_LINK);
    const LONG status = RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK,
                                       reinterpret_cast<const BYTE*>(nt_path.c_str()),
                                       static_cast<DWORD>(nt_path.size() * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS) fail("setting SymbolicLinkValue", status);
    RegCloseKey(link);
}

void plant(const std::string& layout) {
    const std::string::size_type colon = layout.find(':');
    const std::string kind = layout.substr(0, colon);
    const char* argument = colon == std::string::npos ? "0" : layout.c_str() + colon + 1;

    if (kind == "five") {
        for (int n = 0; n < kRows; ++n) plant_populated(kWatched[n].root, kWatched[n].path);
    } else if (kind == "siblings") {
        for (int n = kRows; n < 11; ++n) plant_populated(kWatched[n].root, kWatched[n].path);
    } else if (kind == "refused") {
        plant_unreachable_child(row(argument));
    } else if (kind == "link-tree") {  // links below the row
        plant_link(row(argument).root, row(argument).path + L"\\To a tree", plant_link_target("link-target-tree", true));
    } else if (kind == "link-leaf") {
        plant_link(row(argument).root, row(argument).path + L"\\To a leaf", plant_link_target("link-target-leaf", false));
    } else if (kind == "link-dangling") {
        plant_link(row(argument).root, row(argument).path + L"\\Dangling", machine_key(watched("link-nowhere")));
    } else if (kind == "link-back") {
        plant_link(row(argument).root, row(argument).path + L"\\Settings\\Back to the row", machine_key(row(argument)));
    } else if (kind == "link-row") {  // the row's key itself a link
        plant_link(row(argument).root, row(argument).path, plant_link_target("link-target-leaf", false));
    } else if (kind == "link-row-tree") {
        plant_link(row(argument).root, row(argument).path, plant_link_target("link-target-tree", true));
    } else if (kind == "unmappable") {
        // é, € and an emoji have no code-page-932 form.
        RegCloseKey(create(row(argument).root, row(argument).path + L"\\caf\u00e9 \u20ac \U0001F600\\inner"));
    } else if (kind == "large") {
        HKEY key = create(row(argument).root, row(argument).path);
        wchar_t name[32];
        for (int i = 0; i < 4000; ++i) {
            std::swprintf(name, 32, L"entry %05d", i);
            HKEY child = create(key, name);
            set_string(child, L"Value", name);
            RegCloseKey(child);
        }
        RegCloseKey(key);
    } else if (kind == "deep") {
        HKEY key = create(row(argument).root, row(argument).path);
        for (int depth = 0; depth < 400; ++depth) {
            HKEY child = create(key, L"level");
            RegCloseKey(key);
            key = child;
        }
        RegCloseKey(key);
    } else {
        fail(("layout " + layout).c_str(), 0);
    }
}

void dump() {
    for (const Key& watched : kWatched) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(watched.root, watched.path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            std::printf("%s absent\n", watched.label);
            continue;
        }
        DWORD sub_keys = 0, values = 0;
        RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &sub_keys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr);
        std::printf("%s present %lu %lu\n", watched.label, sub_keys, values);
        RegCloseKey(key);
    }
}

struct Search {
    const std::string* wanted_text;
    HWND found;
    std::string text;
};

std::string hex(const char* bytes) {
    std::string out;
    char byte[4];
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes); *p != 0; ++p) {
        std::snprintf(byte, sizeof byte, out.empty() ? "%02x" : " %02x", *p);
        out += byte;
    }
    return out;
}

BOOL CALLBACK inspect_window(HWND window, LPARAM parameter) {
    Search& search = *reinterpret_cast<Search*>(parameter);
    wchar_t class_name[16], caption[64];
    if (!IsWindowVisible(window) || GetClassNameW(window, class_name, 16) == 0 ||
        std::wcscmp(class_name, L"#32770") != 0 || GetWindowTextW(window, caption, 64) == 0 ||
        std::wcscmp(caption, kToolTitle) != 0)
        return TRUE;
    char text[1024] = "";
    GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
    if (!search.wanted_text->empty() && hex(text) != *search.wanted_text) return TRUE;
    search.found = window;
    search.text = hex(text);
    return FALSE;
}

int answer(int button, const std::string& wanted_text) {
    Search search = {&wanted_text, nullptr, {}};
    for (int poll = 0; poll < 600 && search.found == nullptr; ++poll) {
        EnumWindows(inspect_window, reinterpret_cast<LPARAM>(&search));
        if (search.found == nullptr) Sleep(50);
    }
    if (search.found == nullptr) {
        std::printf("no box\n");
        return 1;
    }
    std::printf("box %s\n", search.text.c_str());
    std::fflush(stdout);
    if (button == 0) return 0;
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(GetDlgItem(search.found, button), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    for (int poll = 0; poll < 200 && IsWindow(search.found); ++poll) Sleep(25);
    return IsWindow(search.found) ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "plant") == 0) {
        for (int i = 2; i < argc; ++i) plant(argv[i]);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "dump") == 0) {
        dump();
        return 0;
    }
    if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "answer") == 0) {
        return answer(std::atoi(argv[2]), argc == 4 ? argv[3] : "");
    }
    std::fprintf(stderr, "usage: e2e_helper plant LAYOUT... | dump | answer BUTTON [TEXT_HEX]\n");
    return 2;
}
