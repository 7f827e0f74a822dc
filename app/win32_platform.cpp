#include "app/win32_platform.h"

#include "app/registry_tree.h"

namespace {

// A named mutex works on every Windows, where the entry's previous-instance
// argument is always null.
constexpr char kInstanceMutexName[] = "porkado-recovery.instance";

HKEY predefined_key(recovery::RegistryRoot root) {
    switch (root) {
        case recovery::RegistryRoot::CurrentUser: return HKEY_CURRENT_USER;
        case recovery::RegistryRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
        case recovery::RegistryRoot::Users: return HKEY_USERS;
    }
    return nullptr;
}

}  // namespace

Win32Platform::~Win32Platform() {
    if (instance_mutex_ != nullptr) CloseHandle(instance_mutex_);
}

bool Win32Platform::another_instance_is_running() {
    instance_mutex_ = CreateMutexA(nullptr, FALSE, kInstanceMutexName);
    return instance_mutex_ != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
}

int Win32Platform::show_message_box(const char* text, const char* caption, unsigned style) {
    return MessageBoxA(nullptr, text, caption, style);
}

long Win32Platform::remove_key(recovery::RegistryRoot root, const char* sub_key_path) {
    return delete_key_tree(predefined_key(root), sub_key_path, find_nt_delete_key());
}

void Win32Platform::flush_root(recovery::RegistryRoot root) {
    RegFlushKey(predefined_key(root));
}
