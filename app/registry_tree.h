#pragma once

#include <windows.h>

// Deletes root\sub_key_path together with every key below it, and returns the
// status of the final RegDeleteKeyA(root, sub_key_path), which on NT refuses a
// key that still has sub-keys.
//
// The tool runs elevated, so the walk never follows a registry symbolic link:
// a link below the key is left where it is (its target is never touched), and
// so is anything else that cannot be removed. Such a leftover keeps the key
// itself, and the caller sees the refusal. If the key itself is a link it is
// not deleted at all and ERROR_ACCESS_DENIED is returned.
LONG delete_key_tree(HKEY root, const char* sub_key_path);
