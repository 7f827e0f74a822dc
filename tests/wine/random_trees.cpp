// Randomized test of the tool's key-tree removal (app/registry_tree.cpp) under
// Wine. Each tree is planted from its own seed below a scratch key, removed
// with delete_key_tree and checked against the model it was planted from:
//
// - the tree is gone, and ERROR_SUCCESS returned, exactly when nothing in it
//   was out of reach; otherwise exactly the keys on the way to what was out of
//   reach remain;
// - the sentinel keys that links point at are unchanged, values included;
// - each removal returns within a bound.
//
//   random_trees SEED COUNT [by-name]
//
// Tree i is planted from seed SEED + i; a failure prints that seed, and
// `random_trees SEED 1` replays the one tree. With by-name the removal runs
// without NtDeleteKey, as on Windows 9x: sub-keys are deleted by name after the
// link check, so links stay too, but nothing they point at may change.
#include <windows.h>
#include <winternl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "app/registry_tree.h"

namespace {

// The scratch key, as the ANSI path the tool would pass (CP932: 表 and ソ end
// in a 0x5C byte, the backslash), and as its W and native names.
constexpr char kTreePath[] = "Software\\表示ソフト試験\\tree";
constexpr wchar_t kTreePathW[] = L"Software\\表示ソフト試験\\tree";
constexpr wchar_t kTreeNative[] = L"\\Registry\\Machine\\Software\\表示ソフト試験\\tree";
constexpr wchar_t kSentinelsW[] = L"Software\\表示ソフト試験 sentinels";
constexpr wchar_t kSentinelsNative[] = L"\\Registry\\Machine\\Software\\表示ソフト試験 sentinels";

constexpr DWORD kRemovalBoundMs = 20000;
constexpr int kMaxChainDepth = 500;
constexpr size_t kMaxNameChars = 255;

using NtCreateKeyFunction = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, ULONG, PUNICODE_STRING, ULONG,
                                         PULONG);
using NtOpenKeyFunction = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES);

template <typename Function>
Function ntdll_function(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name)));
}

struct Failure {
    std::string what;
};

[[noreturn]] void fail(const std::string& what) { throw Failure{what}; }

void check(LONG status, const char* what) {
    if (status != ERROR_SUCCESS) fail(std::string(what) + " failed with " + std::to_string(status));
}

// ---- The model --------------------------------------------------------------

enum class Kind { Plain, Link, OutOfReach };

struct Node {
    int parent;            // -1 for the tree's own key
    std::wstring name;     // an out-of-reach name holds a NUL
    std::wstring path;     // below HKLM; empty for an out-of-reach key
    Kind kind;
    bool remains = false;  // what the removal must leave
};

class Random {
public:
    explicit Random(unsigned seed) : engine_(seed) {}
    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(engine_); }
    bool one_in(int n) { return below(n) == 0; }

private:
    std::mt19937 engine_;
};

// Pieces names are made of: ASCII, katakana and kanji whose CP932 trail byte is
// 0x5C, half-width katakana, and characters code page 932 has no form for (an
// emoji is two UTF-16 units).
const wchar_t* const kNamePieces[] = {
    L"a", L"Z", L"0", L" ", L".", L"-", L"(&P)", L"表", L"ソ", L"十", L"能", L"予", L"申", L"表示",
    L"ソフト", L"ﾎﾟﾙｶﾄﾞｰﾘｵ", L"ﾌﾟﾛｸﾞﾗﾑ", L"\u00e9", L"\u20ac", L"\uD55C", L"\u0E01", L"\U0001F600",
};

// A name unique among its siblings: a random part, '#' and the sibling's index.
std::wstring random_name(Random& random, int index, bool longest) {
    const std::wstring suffix = L"#" + std::to_wstring(index);
    const size_t room = kMaxNameChars - suffix.size();
    const size_t wanted = longest ? room : static_cast<size_t>(random.below(random.one_in(4) ? 60 : 12));
    std::wstring name;
    while (name.size() < wanted) {
        const std::wstring piece = kNamePieces[random.below(sizeof kNamePieces / sizeof *kNamePieces)];
        if (name.size() + piece.size() > room) {
            if (!longest) break;
            name += L'x';  // fill up to the limit exactly
            continue;
        }
        name += piece;
    }
    return name + suffix;
}

struct Tree {
    std::vector<Node> nodes;
    int links = 0, out_of_reach = 0, depth = 0;
};

// ---- Planting ---------------------------------------------------------------

HKEY create_key(const std::wstring& path, DWORD options = 0) {
    HKEY key = nullptr;
    check(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, options, KEY_ALL_ACCESS | KEY_CREATE_LINK,
                          nullptr, &key, nullptr),
          "RegCreateKeyExW");
    return key;
}

void set_value(HKEY key, const std::wstring& name, DWORD type, const void* data, size_t size) {
    check(RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size)),
          "RegSetValueExW");
}

void plant_values(HKEY key, Random& random) {
    for (int i = random.below(4); i > 0; --i) {
        const std::wstring name = L"value " + std::to_wstring(i) + L" 表示";
        const DWORD number = static_cast<DWORD>(random.below(1 << 30));
        const unsigned long long wide = 0x0123456789abcdefULL;
        const wchar_t text[] = L"C:\\Program Files\\ﾎﾟﾙｶﾄﾞｰﾘｵ\0second\0";
        std::vector<BYTE> blob(static_cast<size_t>(random.below(3000)), 0x5c);
        switch (random.below(5)) {
            case 0: set_value(key, name, REG_SZ, text, (std::wcslen(text) + 1) * sizeof(wchar_t)); break;
            case 1: set_value(key, name, REG_MULTI_SZ, text, sizeof text); break;
            case 2: set_value(key, name, REG_DWORD, &number, sizeof number); break;
            case 3: set_value(key, name, REG_QWORD, &wide, sizeof wide); break;
            default: set_value(key, name, REG_BINARY, blob.data(), blob.size()); break;
        }
    }
}

void plant_link(const std::wstring& path, const std::wstring& target) {
    HKEY link = create_key(path, REG_OPTION_CREATE_LINK);
    set_value(link, L"SymbolicLinkValue", REG_LINK, target.c_str(), target.size() * sizeof(wchar_t));
    RegCloseKey(link);
}

// A key whose name holds a NUL: RegEnumKeyExW reports it, but no Win32 name
// opens it, so neither it nor its parent can be removed by the tool.
void plant_out_of_reach(const std::wstring& parent_path, const std::wstring& name) {
    HKEY parent = create_key(parent_path);
    UNICODE_STRING unicode_name = {static_cast<USHORT>(name.size() * sizeof(wchar_t)),
                                   static_cast<USHORT>(name.size() * sizeof(wchar_t)),
                                   const_cast<wchar_t*>(name.data())};
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &unicode_name, OBJ_CASE_INSENSITIVE, parent, nullptr);
    HANDLE key = nullptr;
    const LONG status = ntdll_function<NtCreateKeyFunction>("NtCreateKey")(&key, KEY_ALL_ACCESS, &attributes, 0,
                                                                          nullptr, 0, nullptr);
    if (status != 0) fail("NtCreateKey failed with " + std::to_string(status));
    CloseHandle(key);
    RegCloseKey(parent);
}

std::wstring random_link_target(Random& random, const Tree& tree) {
    switch (random.below(5)) {
        case 0: return std::wstring(kSentinelsNative) + L"\\leaf";
        case 1: return std::wstring(kSentinelsNative) + L"\\tree";
        case 2: return std::wstring(kSentinelsNative) + L"\\nowhere";  // dangling
        case 3: return kTreeNative;                                     // back to the tree's own key
        default: {  // another key of the tree, one out of reach standing for the tree's own key
            const Node& node = tree.nodes[random.below(static_cast<int>(tree.nodes.size()))];
            return node.kind == Kind::OutOfReach ? kTreeNative : L"\\Registry\\Machine\\" + node.path;
        }
    }
}

Tree plant_tree(unsigned seed) {
    Random random(seed);
    Tree tree;
    // Now and then the tree's own key is itself a link.
    if (random.one_in(20)) {
        tree.nodes.push_back({-1, L"tree", kTreePathW, Kind::Link});
        plant_link(kTreePathW, random.one_in(2) ? std::wstring(kSentinelsNative) + L"\\leaf" : kTreeNative);
        tree.links = 1;
        return tree;
    }
    tree.nodes.push_back({-1, L"tree", kTreePathW, Kind::Plain});
    HKEY root = create_key(kTreePathW);
    plant_values(root, random);
    RegCloseKey(root);

    std::vector<int> children_of(1, 0);
    std::vector<int> depth_of(1, 0);
    const bool chain = random.one_in(15);
    const int keys = chain ? (random.one_in(3) ? kMaxChainDepth : 1 + random.below(kMaxChainDepth)) : random.below(random.one_in(5) ? 400 : 60);
    for (int i = 0; i < keys; ++i) {
        // A chain always grows from its newest key; otherwise any plain key may get a child.
        int parent = chain ? static_cast<int>(tree.nodes.size()) - 1 : random.below(static_cast<int>(tree.nodes.size()));
        while (tree.nodes[parent].kind != Kind::Plain) parent = tree.nodes[parent].parent;
        const int roll = random.below(100);
        const Kind kind = chain ? Kind::Plain : roll < 8 ? Kind::Link : roll < 10 ? Kind::OutOfReach : Kind::Plain;
        // Names in a chain stay short, so that its deepest path stays within what a path may hold.
        std::wstring name = random_name(random, children_of[parent]++, !chain && random.one_in(12));
        const std::wstring& parent_path = tree.nodes[parent].path;
        if (kind == Kind::OutOfReach) {
            name = (name.size() > 200 ? name.substr(0, 200) : name) + L'\0' + L"beyond reach";
            plant_out_of_reach(parent_path, name);
            tree.nodes.push_back({parent, name, L"", kind});
            ++tree.out_of_reach;
        } else {
            const std::wstring path = parent_path + L"\\" + name;
            if (kind == Kind::Link) {
                plant_link(path, random_link_target(random, tree));
                ++tree.links;
            } else {
                HKEY key = create_key(path);
                plant_values(key, random);
                RegCloseKey(key);
            }
            tree.nodes.push_back({parent, name, path, kind});
        }
        children_of.push_back(0);
        depth_of.push_back(depth_of[parent] + 1);
        if (depth_of.back() > tree.depth) tree.depth = depth_of.back();
    }
    return tree;
}

// What the removal must leave: what it cannot reach (and, by name, a link),
// and every key on the way to such a key.
bool mark_what_remains(Tree& tree, bool by_name) {
    for (int i = static_cast<int>(tree.nodes.size()) - 1; i >= 0; --i) {
        Node& node = tree.nodes[i];
        if (node.kind == Kind::OutOfReach || (by_name && node.kind == Kind::Link)) node.remains = true;
        if (node.remains && node.parent >= 0) tree.nodes[node.parent].remains = true;
    }
    return tree.nodes[0].remains;
}

// ---- Sentinels --------------------------------------------------------------

void plant_sentinels() {
    HKEY tree = create_key(std::wstring(kSentinelsW) + L"\\tree\\child\\grandchild");
    const DWORD number = 42;
    set_value(tree, L"Precious", REG_DWORD, &number, sizeof number);
    RegCloseKey(tree);
    HKEY leaf = create_key(std::wstring(kSentinelsW) + L"\\leaf");
    set_value(leaf, L"Precious", REG_SZ, L"must survive", sizeof L"must survive");
    RegCloseKey(leaf);
}

// Every key and value below the sentinels' key, as text.
void describe(HKEY key, const std::wstring& path, std::wstring& out) {
    out += path + L"\n";
    wchar_t name[kMaxNameChars + 1];
    BYTE data[64];
    for (DWORD i = 0;; ++i) {
        DWORD name_chars = kMaxNameChars + 1, type = 0, size = sizeof data;
        if (RegEnumValueW(key, i, name, &name_chars, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
        out += L"  " + std::wstring(name) + L" " + std::to_wstring(type) + L" " +
               std::wstring(reinterpret_cast<wchar_t*>(data), size / sizeof(wchar_t)) + L"\n";
    }
    for (DWORD i = 0;; ++i) {
        DWORD name_chars = kMaxNameChars + 1;
        if (RegEnumKeyExW(key, i, name, &name_chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        HKEY child = nullptr;
        if (RegOpenKeyExW(key, name, REG_OPTION_OPEN_LINK, KEY_READ, &child) != ERROR_SUCCESS) continue;
        describe(child, path + L"\\" + name, out);
        RegCloseKey(child);
    }
}

std::wstring sentinels() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSentinelsW, 0, KEY_READ, &key) != ERROR_SUCCESS) return L"(gone)";
    std::wstring out;
    describe(key, L"", out);
    RegCloseKey(key);
    return out;
}

// ---- Removing and checking --------------------------------------------------

struct Removal {
    NtDeleteKeyFunction nt_delete_key;
    LONG status;
};

DWORD WINAPI remove_tree(void* parameter) {
    Removal& removal = *static_cast<Removal*>(parameter);
    removal.status = delete_key_tree(HKEY_LOCAL_MACHINE, kTreePath, removal.nt_delete_key);
    return 0;
}

bool exists(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), REG_OPTION_OPEN_LINK, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

DWORD sub_key_count(const std::wstring& path) {
    HKEY key = nullptr;
    DWORD count = 0;
    check(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), REG_OPTION_OPEN_LINK, KEY_READ, &key), "RegOpenKeyExW");
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(key);
    return count;
}

void check_what_remains(const Tree& tree) {
    std::vector<DWORD> remaining_children(tree.nodes.size(), 0);
    for (const Node& node : tree.nodes) {
        if (node.remains && node.parent >= 0) ++remaining_children[node.parent];
    }
    for (size_t i = 0; i < tree.nodes.size(); ++i) {
        const Node& node = tree.nodes[i];
        if (node.kind == Kind::OutOfReach) continue;  // counted under its parent
        if (exists(node.path) != node.remains) fail("key " + std::to_string(i) + (node.remains ? " is gone" : " is left"));
        if (node.remains && sub_key_count(node.path) != remaining_children[i])
            fail("key " + std::to_string(i) + " has " + std::to_string(sub_key_count(node.path)) +
                 " sub-keys left, not " + std::to_string(remaining_children[i]));
    }
}

// Clears what the removal had to leave, through handles opened as the keys
// themselves, deepest first.
void clear_leftovers(const Tree& tree) {
    const auto nt_open_key = ntdll_function<NtOpenKeyFunction>("NtOpenKey");
    const NtDeleteKeyFunction nt_delete_key = find_nt_delete_key();
    for (int i = static_cast<int>(tree.nodes.size()) - 1; i >= 0; --i) {
        const Node& node = tree.nodes[i];
        if (!node.remains) continue;
        const std::wstring native = node.parent < 0 ? std::wstring(kTreeNative)
                                                    : L"\\Registry\\Machine\\" + tree.nodes[node.parent].path + L"\\" + node.name;
        UNICODE_STRING name = {static_cast<USHORT>(native.size() * sizeof(wchar_t)),
                               static_cast<USHORT>(native.size() * sizeof(wchar_t)), const_cast<wchar_t*>(native.data())};
        OBJECT_ATTRIBUTES attributes;
        InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_OPENLINK, nullptr, nullptr);
        HANDLE key = nullptr;
        if (nt_open_key(&key, DELETE, &attributes) != 0) fail("cannot open a leftover to clear it");
        nt_delete_key(key);
        CloseHandle(key);
    }
    if (exists(kTreePathW)) fail("the leftovers could not be cleared");
}

struct Totals {
    int keys = 0, links = 0, out_of_reach = 0, depth = 0;
    DWORD slowest_ms = 0;
};

void test_one_tree(unsigned seed, bool by_name, const std::wstring& sentinels_before, Totals& totals) {
    Tree tree = plant_tree(seed);
    const bool tree_remains = mark_what_remains(tree, by_name);

    Removal removal = {by_name ? nullptr : find_nt_delete_key(), -1};
    const DWORD started = GetTickCount();
    HANDLE thread = CreateThread(nullptr, 0, remove_tree, &removal, 0, nullptr);
    if (WaitForSingleObject(thread, kRemovalBoundMs) != WAIT_OBJECT_0) {
        std::printf("FAIL: seed %u: the removal did not return within %lu ms\n", seed, kRemovalBoundMs);
        std::fflush(stdout);
        ExitProcess(1);
    }
    CloseHandle(thread);
    const DWORD elapsed = GetTickCount() - started;

    if ((removal.status == ERROR_SUCCESS) == tree_remains)
        fail("the removal returned " + std::to_string(removal.status) + " for a tree that " +
             (tree_remains ? "cannot" : "can") + " be removed");
    check_what_remains(tree);
    if (sentinels() != sentinels_before) fail("a sentinel changed");
    if (tree_remains) clear_leftovers(tree);

    totals.keys += static_cast<int>(tree.nodes.size());
    totals.links += tree.links;
    totals.out_of_reach += tree.out_of_reach;
    if (tree.depth > totals.depth) totals.depth = tree.depth;
    if (elapsed > totals.slowest_ms) totals.slowest_ms = elapsed;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4 || (argc == 4 && std::strcmp(argv[3], "by-name") != 0)) {
        std::fprintf(stderr, "usage: random_trees SEED COUNT [by-name]\n");
        return 2;
    }
    if (GetACP() != 932) {
        std::fprintf(stderr, "random_trees: the ANSI code page is %u, not 932 (run with LC_ALL=ja_JP.UTF-8)\n", GetACP());
        return 2;
    }
    const unsigned first_seed = static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10));
    const int count = std::atoi(argv[2]);
    const bool by_name = argc == 4;

    plant_sentinels();
    const std::wstring sentinels_before = sentinels();
    Totals totals;
    for (int i = 0; i < count; ++i) {
        const unsigned seed = first_seed + static_cast<unsigned>(i);
        try {
            test_one_tree(seed, by_name, sentinels_before, totals);
        } catch (const Failure& failure) {
            std::printf("FAIL: seed %u: %s\nreplay: random_trees %u 1%s\n", seed, failure.what.c_str(), seed,
                        by_name ? " by-name" : "");
            return 1;
        }
    }
    std::printf("%d trees from seed %u%s: %d keys, %d links, %d out of reach, deepest %d, slowest removal %lu ms: "
                "all as expected\n",
                count, first_seed, by_name ? " (by name)" : "", totals.keys, totals.links, totals.out_of_reach,
                totals.depth, totals.slowest_ms);
    return 0;
}
