#pragma once

#include <windows.h>

#include "recovery/recovery_run.h"

// The run's platform on Win32: each operation is one direct platform call.
class Win32Platform final : public recovery::RecoveryPlatform {
public:
    Win32Platform() = default;
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;
    ~Win32Platform();

    bool another_instance_is_running() override;
    int show_message_box(const char* text, const char* caption, unsigned style) override;
    long remove_key(recovery::RegistryRoot root, const char* sub_key_path) override;
    void flush_root(recovery::RegistryRoot root) override;

private:
    // Held for the life of the process: its name marks a running instance.
    HANDLE instance_mutex_ = nullptr;
};
