#pragma once

#include <cstdio>
#include <sstream>
#include <string>

// Byte strings for the tests, written as hex ("82 b1 82 cc") so that the
// expected texts do not go through the compiler's character-set conversion.
inline std::string bytes(const char* hex) {
    std::string out;
    std::istringstream in(hex);
    unsigned value = 0;
    while (in >> std::hex >> value) out += static_cast<char>(value);
    return out;
}

inline std::string hex(const std::string& text) {
    std::string out;
    char byte[4];
    for (const unsigned char c : text) {
        std::snprintf(byte, sizeof byte, out.empty() ? "%02x" : " %02x", c);
        out += byte;
    }
    return out;
}
