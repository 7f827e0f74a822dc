#include "recovery/recovery_run.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "recovery/win32_codes.h"

namespace {

using recovery::RecoveryPlatform;
using recovery::RegistryRoot;

// What the platform answers during one run.
struct Script {
    bool another_instance = false;
    int answer = IDYES;
    long removal_status[5] = {ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS};
};

const char* root_name(RegistryRoot root) {
    switch (root) {
        case RegistryRoot::CurrentUser: return "HKCU";
        case RegistryRoot::LocalMachine: return "HKLM";
        case RegistryRoot::Users: return "HKU";
    }
    return "?";
}

// Plays the script and writes down every call, one readable line each.
class ScriptedPlatform final : public RecoveryPlatform {
public:
    explicit ScriptedPlatform(const Script& script) : script_(script) {}

    bool another_instance_is_running() override {
        calls.push_back("instance?");
        return script_.another_instance;
    }

    int show_message_box(const char* text, const char* caption, unsigned style) override {
        char line[64];
        std::snprintf(line, sizeof line, "box %s 0x%02x", text_name(text), style);
        calls.push_back(line);
        if (std::strcmp(caption, recovery::kToolTitle) != 0) calls.push_back("wrong caption");
        return std::strcmp(text, recovery::kConfirmationText) == 0 ? script_.answer : IDOK;
    }

    long remove_key(RegistryRoot root, const char* sub_key_path) override {
        for (const recovery::RecoveryTarget& target : recovery::kRecoveryTargets) {
            if (target.root == root && std::strcmp(target.sub_key_path, sub_key_path) == 0) {
                calls.push_back("remove " + std::to_string(target.position));
                return script_.removal_status[target.position - 1];
            }
        }
        calls.push_back(std::string("remove unknown key under ") + root_name(root));
        return ERROR_SUCCESS;
    }

    void flush_root(RegistryRoot root) override { calls.push_back(std::string("flush ") + root_name(root)); }

    std::vector<std::string> calls;

private:
    static const char* text_name(const char* text) {
        if (std::strcmp(text, recovery::kConfirmationText) == 0) return "question";
        if (std::strcmp(text, recovery::kAlreadyRunningText) == 0) return "already-running";
        if (std::strcmp(text, recovery::kClosingText) == 0) return "closing";
        if (std::strcmp(text, recovery::kFailureClosingText) == 0) return "failure-closing";
        for (const recovery::RecoveryTarget& target : recovery::kRecoveryTargets) {
            static const char* const names[] = {"failure(1)", "failure(2)", "failure(3)", "failure(4)", "failure(5)"};
            if (std::strcmp(text, target.failure_text) == 0) return names[target.position - 1];
        }
        return "unknown";
    }

    Script script_;
};

struct Scenario {
    const char* name;
    Script script;
    std::vector<std::string> expected_calls;
};

constexpr long kRefused = ERROR_ACCESS_DENIED;
constexpr long kAbsent = ERROR_FILE_NOT_FOUND;

const Scenario kScenarios[] = {
    {"another instance shows only its box",
     {true, IDYES, {}},
     {"instance?", "box already-running 0x10"}},
    {"No changes nothing",
     {false, IDNO, {}},
     {"instance?", "box question 0x24"}},
    {"a question that could not be shown counts as No",
     {false, 0, {}},
     {"instance?", "box question 0x24"}},
    {"any answer but Yes counts as No",
     {false, IDOK, {}},
     {"instance?", "box question 0x24"}},
    {"all removed",
     {false, IDYES, {ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS}},
     {"instance?", "box question 0x24", "remove 1", "remove 2", "remove 3", "remove 4", "remove 5",
      "flush HKCU", "flush HKLM", "flush HKU", "box closing 0x10"}},
    {"none present is success: nothing was left to remove",
     {false, IDYES, {kAbsent, kAbsent, kAbsent, kAbsent, kAbsent}},
     {"instance?", "box question 0x24", "remove 1", "remove 2", "remove 3", "remove 4", "remove 5",
      "flush HKCU", "flush HKLM", "flush HKU", "box closing 0x10"}},
    {"only row 3 refused: its box between rows 3 and 4",
     {false, IDYES, {ERROR_SUCCESS, kAbsent, kRefused, ERROR_SUCCESS, kAbsent}},
     {"instance?", "box question 0x24", "remove 1", "remove 2", "remove 3", "box failure(3) 0x10", "remove 4",
      "remove 5", "flush HKCU", "flush HKLM", "flush HKU", "box failure-closing 0x10"}},
    {"all refused: every row tried, flushes still made",
     {false, IDYES, {kRefused, kRefused, kRefused, kRefused, kRefused}},
     {"instance?", "box question 0x24", "remove 1", "box failure(1) 0x10", "remove 2", "box failure(2) 0x10",
      "remove 3", "box failure(3) 0x10", "remove 4", "box failure(4) 0x10", "remove 5", "box failure(5) 0x10",
      "flush HKCU", "flush HKLM", "flush HKU", "box failure-closing 0x10"}},
    {"any status but success or absent is a failure",
     {false, IDYES, {ERROR_SUCCESS, 1018 /* key deleted */, ERROR_SUCCESS, 87 /* invalid parameter */, -1}},
     {"instance?", "box question 0x24", "remove 1", "remove 2", "box failure(2) 0x10", "remove 3", "remove 4",
      "box failure(4) 0x10", "remove 5", "box failure(5) 0x10", "flush HKCU", "flush HKLM", "flush HKU",
      "box failure-closing 0x10"}},
};

// Names the scenario in test output instead of dumping its bytes.
void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

class RecoveryRun : public testing::TestWithParam<Scenario> {};

TEST_P(RecoveryRun, MakesExactlyTheseCallsAndReturnsZero) {
    const Scenario& scenario = GetParam();
    ScriptedPlatform platform(scenario.script);

    EXPECT_EQ(recovery::run_recovery(platform), 0);
    EXPECT_EQ(platform.calls, scenario.expected_calls);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, RecoveryRun, testing::ValuesIn(kScenarios),
                         [](const testing::TestParamInfo<Scenario>& info) {
                             std::string name;
                             for (const char* c = info.param.name; *c != '\0'; ++c) {
                                 if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
                                 else if (!name.empty() && name.back() != '_') name += '_';
                             }
                             return name;
                         });

}  // namespace
