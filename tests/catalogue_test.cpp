#include "recovery/catalogue.h"

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "tests/bytes.h"

namespace {

using recovery::RegistryRoot;

const std::string kAppName = bytes("ce df d9 b6 c4 de b0 d8 b5");       // ﾎﾟﾙｶﾄﾞｰﾘｵ
const std::string kProgramsMenu = bytes("cc df db b8 de d7 d1 28 26 50 29");  // ﾌﾟﾛｸﾞﾗﾑ(&P)
const std::string kMenuOrder =
    std::string("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\") +
    kProgramsMenu + "\\" + kAppName;

std::string failure_text(char digit) {
    return bytes("83 8a 83 4a 83 6f 8f ee 95 f1") + "(" + digit + ")";  // リカバ情報(n)
}

TEST(Catalogue, TextsAreTheirCodePage932Bytes) {
    struct Case {
        const char* name;
        std::string actual;
        std::string expected;
    };
    const Case cases[] = {
        {"title", recovery::kToolTitle,
         kAppName + bytes("81 40 83 43 83 93 83 58 83 67 81 5b 83 8b 83 8a 83 4a 83 6f")},
        {"confirmation", recovery::kConfirmationText,
         bytes("82 b1 82 cc cc df db b8 de d7 d1 82 cd ce df d9 b6 c4 de b0 d8 b5 82 cc b2 dd bd"
               " b0 d9 82 e2 b1 dd b2 dd bd c4 b0 d9 82 c9 8e b8 94 73 82 b5 0a"
               " 8d c4 b2 dd bd c4 b0 d9 82 c5 82 ab 82 c8 82 a2 8e 9e 82 c9 82 cc 82 dd 8e c0 8d"
               " 73 82 b5 82 c4 89 ba 82 b3 82 a2 2e 0a"
               " 82 b1 82 cc cc df db b8 de d7 d1 82 f0 8e c0 8d 73 82 b7 82 e9 82 b1 82 c6 82 c9"
               " 82 e6 82 e8 8d c4 b2 dd bd c4 b0 d9 82 aa 82 c5 82 ab 82 e9 82 e6 82 a4 82 c9 82"
               " c8 82 e8 82 dc 82 b7 2e 0a"
               " 82 b1 82 cc cc df db b8 de d7 d1 82 f0 8e c0 8d 73 82 b5 82 dc 82 b7 82 a9 81 48")},
        {"already running", recovery::kAlreadyRunningText,
         bytes("8a f9 82 c9 8b 4e 93 ae 82 b5 82 c4 82 a2 82 dc 82 b7")},
        {"failure closing", recovery::kFailureClosingText,
         bytes("d8 b6 ca de 82 c9 8e b8 94 73 82 b5 82 dc 82 b5 82 bd 2e")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(hex(c.actual), hex(c.expected)) << c.name;
    }
}

TEST(Catalogue, ClosingTextIsTwoJapaneseLinesAndAnAsciiNoticeOfRights) {
    const std::string head = bytes(
        "d8 b6 ca de 82 c9 90 ac 8c f7 82 b5 82 dc 82 b5 82 bd 2e 0a"                      // ﾘｶﾊﾞに成功しました.
        " 8d c4 93 78 82 62 82 63 81 7c 82 71 82 6e 82 6c 82 a9 82 e7 b2 dd bd c4 b0 d9"  // 再度ＣＤ－ＲＯＭからｲﾝｽﾄｰﾙ
        " 82 b5 82 c4 89 ba 82 b3 82 a2 2e 0a");                                          // して下さい.
    const std::string closing = recovery::kClosingText;
    ASSERT_EQ(hex(closing.substr(0, head.size())), hex(head));

    const std::string notice = closing.substr(head.size());
    EXPECT_FALSE(notice.empty());
    EXPECT_TRUE(std::all_of(notice.begin(), notice.end(), [](char c) { return c >= 0x20 && c < 0x7f; }))
        << notice;
}

TEST(Catalogue, MessagesUseBareLineFeedsAndNeverEndWithOne) {
    struct Case {
        const char* name;
        std::string text;
        long line_feeds;
    };
    const Case cases[] = {
        {"confirmation", recovery::kConfirmationText, 3},
        {"closing", recovery::kClosingText, 2},
        {"failure closing", recovery::kFailureClosingText, 0},
        {"already running", recovery::kAlreadyRunningText, 0},
        {"title", recovery::kToolTitle, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(std::count(c.text.begin(), c.text.end(), '\n'), c.line_feeds) << c.name;
        EXPECT_EQ(c.text.find('\r'), std::string::npos) << c.name;
        EXPECT_NE(c.text.back(), '\n') << c.name;
    }
    const std::string title = recovery::kToolTitle;
    const auto first_space = title.find(bytes("81 40"));
    EXPECT_EQ(first_space, kAppName.size());
    EXPECT_EQ(title.find(bytes("81 40"), first_space + 1), std::string::npos);
}

TEST(Catalogue, TargetsAreTheFiveKeysInDeletionOrder) {
    struct Row {
        RegistryRoot root;
        std::string path;
    };
    const Row expected[] = {
        {RegistryRoot::CurrentUser, kMenuOrder},
        {RegistryRoot::LocalMachine, "SOFTWARE\\TAVRO\\" + kAppName},
        {RegistryRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + kAppName},
        {RegistryRoot::Users, ".Default\\" + kMenuOrder},
        {RegistryRoot::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\porkado.exe"},
    };
    ASSERT_EQ(std::size(recovery::kRecoveryTargets), std::size(expected));
    for (int i = 0; i < 5; ++i) {
        const recovery::RecoveryTarget& target = recovery::kRecoveryTargets[i];
        const std::string failure = target.failure_text;
        EXPECT_EQ(target.position, i + 1);
        EXPECT_EQ(target.root, expected[i].root) << "row " << i + 1;
        EXPECT_EQ(hex(target.sub_key_path), hex(expected[i].path)) << "row " << i + 1;
        EXPECT_EQ(hex(failure), hex(failure_text(static_cast<char>('1' + i)))) << "row " << i + 1;
        EXPECT_EQ(failure.size(), 13u);
    }
}

TEST(Catalogue, RootsAreThePredefinedHandleValues) {
    EXPECT_EQ(static_cast<std::uint32_t>(RegistryRoot::CurrentUser), 0x80000001u);
    EXPECT_EQ(static_cast<std::uint32_t>(RegistryRoot::LocalMachine), 0x80000002u);
    EXPECT_EQ(static_cast<std::uint32_t>(RegistryRoot::Users), 0x80000003u);
}

}  // namespace
