#pragma once

// Every fixed value of the tool: the texts it shows and the keys it deletes.
//
// The texts are code-page-932 byte strings handed unchanged to the ANSI ("A")
// platform calls. They are written here as Japanese and turned into CP932 by the
// compiler (-fexec-charset=CP932; CP932, not SHIFT_JIS, which has no full-width
// minus). Half-width and full-width katakana are mixed on purpose, exactly as
// the user has always seen them. Lines are separated by a bare line feed.

#include <cstdint>

#include "recovery/rights_notice.h"

namespace recovery {

static_assert(sizeof("ﾎ") == 2 && sizeof("情") == 3,
              "narrow literals must be code page 932: compile with -fexec-charset=CP932");

// The predefined registry roots, by the value of their handles.
enum class RegistryRoot : std::uint32_t {
    CurrentUser = 0x80000001,   // HKEY_CURRENT_USER
    LocalMachine = 0x80000002,  // HKEY_LOCAL_MACHINE
    Users = 0x80000003,         // HKEY_USERS
};

// One registry key the run deletes, with the text that reports its failure.
struct RecoveryTarget {
    int position;
    RegistryRoot root;
    const char* sub_key_path;
    const char* failure_text;
};

// Caption of every message box.
inline constexpr char kToolTitle[] = "ﾎﾟﾙｶﾄﾞｰﾘｵ　インストールリカバ";

inline constexpr char kConfirmationText[] =
    "このﾌﾟﾛｸﾞﾗﾑはﾎﾟﾙｶﾄﾞｰﾘｵのｲﾝｽｰﾙやｱﾝｲﾝｽﾄｰﾙに失敗し\n"
    "再ｲﾝｽﾄｰﾙできない時にのみ実行して下さい.\n"
    "このﾌﾟﾛｸﾞﾗﾑを実行することにより再ｲﾝｽﾄｰﾙができるようになります.\n"
    "このﾌﾟﾛｸﾞﾗﾑを実行しますか？";

inline constexpr char kAlreadyRunningText[] = "既に起動しています";

inline constexpr char kClosingText[] =
    "ﾘｶﾊﾞに成功しました.\n"
    "再度ＣＤ－ＲＯＭからｲﾝｽﾄｰﾙして下さい.\n"
    PORKADO_RIGHTS_NOTICE;

// Closes the run instead of kClosingText when a key is still there afterwards.
inline constexpr char kFailureClosingText[] = "ﾘｶﾊﾞに失敗しました.";

// Deleted in this order.
inline constexpr RecoveryTarget kRecoveryTargets[] = {
    {1, RegistryRoot::CurrentUser,
     R"(Software\Microsoft\Windows\CurrentVersion\Explorer\MenuOrder\Start Menu\ﾌﾟﾛｸﾞﾗﾑ(&P)\ﾎﾟﾙｶﾄﾞｰﾘｵ)",
     "リカバ情報(1)"},
    {2, RegistryRoot::LocalMachine,
     R"(SOFTWARE\TAVRO\ﾎﾟﾙｶﾄﾞｰﾘｵ)",
     "リカバ情報(2)"},
    {3, RegistryRoot::LocalMachine,
     R"(SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\ﾎﾟﾙｶﾄﾞｰﾘｵ)",
     "リカバ情報(3)"},
    {4, RegistryRoot::Users,
     R"(.Default\Software\Microsoft\Windows\CurrentVersion\Explorer\MenuOrder\Start Menu\ﾌﾟﾛｸﾞﾗﾑ(&P)\ﾎﾟﾙｶﾄﾞｰﾘｵ)",
     "リカバ情報(4)"},
    {5, RegistryRoot::LocalMachine,
     R"(Software\Microsoft\Windows\CurrentVersion\App Paths\porkado.exe)",
     "リカバ情報(5)"},
};

// Written to disk, in this order, after every deletion.
inline constexpr RegistryRoot kFlushedRoots[] = {
    RegistryRoot::CurrentUser,
    RegistryRoot::LocalMachine,
    RegistryRoot::Users,
};

}  // namespace recovery
