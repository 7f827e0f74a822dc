#include "app/registry_tree.h"

namespace {

// Only functions every 32-bit Windows has: no RegDeleteTree, no shlwapi.
// Below the key the walk uses the W functions, so that a sub-key whose name
// has no code-page-932 form is reached by its real name. (Windows 9x has no W
// registry functions, but there RegDeleteKeyA removes a whole tree itself.)

constexpr REGSAM kWalkAccess = DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE;

constexpr LONG kStatusSuccess = 0;

// Key names are at most 255 characters.
constexpr DWORD kNameBufferChars = 256;

// The registry nests no deeper than this; a deeper tree is left alone rather
// than risk the stack.
constexpr int kMaxDepth = 512;

class OpenedKey {
public:
    OpenedKey() = default;
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;
    ~OpenedKey() { close(); }

    // Opens parent\name itself, never the target of a link.
    LONG open_without_following_link(HKEY parent, const char* name) {
        return RegOpenKeyExA(parent, name, REG_OPTION_OPEN_LINK, kWalkAccess, &handle_);
    }
    LONG open_without_following_link(HKEY parent, const wchar_t* name) {
        return RegOpenKeyExW(parent, name, REG_OPTION_OPEN_LINK, kWalkAccess, &handle_);
    }
    void close() {
        if (handle_ != nullptr) RegCloseKey(handle_);
        handle_ = nullptr;
    }

    HKEY get() const { return handle_; }

private:
    HKEY handle_ = nullptr;
};

bool is_symbolic_link(HKEY key) {
    DWORD type = REG_NONE;
    const LONG status = RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr);
    return (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) && type == REG_LINK;
}

bool remove_sub_key(HKEY parent, const wchar_t* name, NtDeleteKeyFunction nt_delete_key, int depth);

// Removes what it can below `key`. A sub-key that stays is stepped over, so
// every pass either removes a key or moves on: the walk always ends.
void remove_sub_keys(HKEY key, NtDeleteKeyFunction nt_delete_key, int depth) {
    wchar_t name[kNameBufferChars];
    DWORD stepped_over = 0;
    for (;;) {
        DWORD name_chars = kNameBufferChars;
        const LONG status =
            RegEnumKeyExW(key, stepped_over, name, &name_chars, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS && remove_sub_key(key, name, nt_delete_key, depth)) continue;
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return;
        ++stepped_over;
    }
}

// The one handle opened here is the key itself, even when it is a link, so
// deleting through it removes exactly the key that was opened. A key without
// sub-keys (a link included) goes at once; only a refused one is walked.
bool remove_sub_key(HKEY parent, const wchar_t* name, NtDeleteKeyFunction nt_delete_key, int depth) {
    OpenedKey key;
    if (key.open_without_following_link(parent, name) != ERROR_SUCCESS) return false;
    if (nt_delete_key == nullptr) {
        // Deleting a link by name would delete its target instead.
        if (is_symbolic_link(key.get()) || depth >= kMaxDepth) return false;
        remove_sub_keys(key.get(), nullptr, depth + 1);
        key.close();
        return RegDeleteKeyW(parent, name) == ERROR_SUCCESS;
    }
    if (nt_delete_key(key.get()) == kStatusSuccess) return true;
    if (depth >= kMaxDepth) return false;
    remove_sub_keys(key.get(), nt_delete_key, depth + 1);
    return nt_delete_key(key.get()) == kStatusSuccess;
}

}  // namespace

NtDeleteKeyFunction find_nt_delete_key() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr) return nullptr;
    return reinterpret_cast<NtDeleteKeyFunction>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtDeleteKey")));
}

LONG delete_key_tree(HKEY root, const char* sub_key_path, NtDeleteKeyFunction nt_delete_key) {
    {
        OpenedKey key;
        if (key.open_without_following_link(root, sub_key_path) == ERROR_SUCCESS) {
            // RegDeleteKeyA would follow the link: remove the link itself, or nothing.
            if (is_symbolic_link(key.get())) {
                const bool removed = nt_delete_key != nullptr && nt_delete_key(key.get()) == kStatusSuccess;
                return removed ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
            }
            remove_sub_keys(key.get(), nt_delete_key, 1);
        }
    }
    return RegDeleteKeyA(root, sub_key_path);
}
