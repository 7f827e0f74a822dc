#pragma once

#include "recovery/catalogue.h"

namespace recovery {

// The platform as the run sees it: the only seam between the procedure and
// Win32. Results are the platform's own codes.
class RecoveryPlatform {
public:
    // Asked once, before anything else.
    virtual bool another_instance_is_running() = 0;
    // A modal box with no owner window; returns the id of the button pressed,
    // or 0 when the box could not be shown.
    virtual int show_message_box(const char* text, const char* caption, unsigned style) = 0;
    // Removes the key with everything below it; returns the status of the
    // deletion of the key itself (ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ...).
    virtual long remove_key(RegistryRoot root, const char* sub_key_path) = 0;
    virtual void flush_root(RegistryRoot root) = 0;

protected:
    ~RecoveryPlatform() = default;
};

// The whole recovery: confirm, delete the five keys, flush, report.
// Returns the process exit status, which is always 0.
int run_recovery(RecoveryPlatform& platform);

}  // namespace recovery
