#pragma once

#include <windows.h>

// ntdll's NtDeleteKey: deletes the key behind an open handle. Every NT has it;
// Windows 9x has not, so it is looked up at run time and never imported.
using NtDeleteKeyFunction = LONG(NTAPI*)(HANDLE key);
NtDeleteKeyFunction find_nt_delete_key();

// Deletes root\sub_key_path together with every key below it, and returns the
// status of the final RegDeleteKeyA(root, sub_key_path), which on NT refuses a
// key that still has sub-keys.
//
// The tool runs elevated, so the walk never opens, enumerates or changes what
// a registry link points at. Below the key, every key is opened once, as
// itself (REG_OPTION_OPEN_LINK), and deleted through that same handle with
// nt_delete_key: a link is removed itself, and no name is looked up twice.
// Whatever cannot be removed is stepped over; it keeps the key, and the caller
// sees the refusal. If the key is itself a link, the link is removed the same
// way and ERROR_SUCCESS returned (ERROR_ACCESS_DENIED when that fails), with no
// RegDeleteKeyA, which would follow it.
//
// Without nt_delete_key (Windows 9x, whose RegDeleteKeyA removes a whole tree
// and which has no links) sub-keys are deleted by name after the link check.
LONG delete_key_tree(HKEY root, const char* sub_key_path, NtDeleteKeyFunction nt_delete_key);
