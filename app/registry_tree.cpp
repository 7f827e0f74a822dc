#include "app/registry_tree.h"

namespace {

// Only functions every 32-bit Windows has: no RegDeleteTree, no shlwapi.
// Below the key the walk uses the W functions, so that a sub-key whose name
// has no code-page-932 form is reached by its real name. (Windows 9x has no W
// registry functions, but there RegDeleteKeyA removes a whole tree itself.)

constexpr REGSAM kWalkAccess = KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE;

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
    ~OpenedKey() {
        if (handle_ != nullptr) RegCloseKey(handle_);
    }

    // Opens parent\name itself, never the target of a link.
    LONG open_without_following_link(HKEY parent, const char* name) {
        return RegOpenKeyExA(parent, name, REG_OPTION_OPEN_LINK, kWalkAccess, &handle_);
    }
    LONG open_without_following_link(HKEY parent, const wchar_t* name) {
        return RegOpenKeyExW(parent, name, REG_OPTION_OPEN_LINK, kWalkAccess, &handle_);
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

bool remove_sub_key(HKEY parent, const wchar_t* name, int depth);

// Removes what it can below `key`. A sub-key that stays is stepped over, so
// every pass either removes a key or moves on: the walk always ends.
void remove_sub_keys(HKEY key, int depth) {
    wchar_t name[kNameBufferChars];
    DWORD stepped_over = 0;
    for (;;) {
        DWORD name_chars = kNameBufferChars;
        const LONG status =
            RegEnumKeyExW(key, stepped_over, name, &name_chars, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS && remove_sub_key(key, name, depth)) continue;
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return;
        ++stepped_over;
    }
}

bool remove_sub_key(HKEY parent, const wchar_t* name, int depth) {
    {
        OpenedKey key;
        if (key.open_without_following_link(parent, name) != ERROR_SUCCESS) return false;
        // Deleting a link by name would delete its target instead.
        if (is_symbolic_link(key.get())) return false;
        if (depth >= kMaxDepth) return false;
        remove_sub_keys(key.get(), depth + 1);
    }
    return RegDeleteKeyW(parent, name) == ERROR_SUCCESS;
}

}  // namespace

LONG delete_key_tree(HKEY root, const char* sub_key_path) {
    {
        OpenedKey key;
        if (key.open_without_following_link(root, sub_key_path) == ERROR_SUCCESS) {
            if (is_symbolic_link(key.get())) return ERROR_ACCESS_DENIED;
            remove_sub_keys(key.get(), 1);
        }
    }
    return RegDeleteKeyA(root, sub_key_path);
}
