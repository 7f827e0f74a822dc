#include "recovery/recovery_run.h"

#include "recovery/win32_codes.h"

namespace recovery {

int run_recovery(RecoveryPlatform& platform) {
    if (platform.another_instance_is_running()) {
        platform.show_message_box(kAlreadyRunningText, kToolTitle, MB_OK | MB_ICONERROR);
        return 0;
    }

    if (platform.show_message_box(kConfirmationText, kToolTitle, MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return 0;
    }

    bool a_key_remains = false;
    for (const RecoveryTarget& target : kRecoveryTargets) {
        const long status = platform.remove_key(target.root, target.sub_key_path);
        // An absent key has nothing left to remove: that is the goal, not a failure.
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
            a_key_remains = true;
            platform.show_message_box(target.failure_text, kToolTitle, MB_OK | MB_ICONERROR);
        }
    }

    for (const RegistryRoot root : kFlushedRoots) {
        platform.flush_root(root);
    }

    // The stop icon on the closing box is the one users have always seen.
    platform.show_message_box(a_key_remains ? kFailureClosingText : kClosingText, kToolTitle,
                              MB_OK | MB_ICONERROR);
    return 0;
}

}  // namespace recovery
