// src/dk/common/datastore/PRightsKit.cpp
//
// The privilege catalogue's reader and the name rule every connector that keeps rights shares.

#include <dk/PRightsKit.hpp>

#include <algorithm>
#include <cstring>

int PRightsKit::privilegeIndex(long id) {
    for (std::size_t i = 0; i < kPrivilegeIds.size(); ++i)
        if (kPrivilegeIds[i] == id) return static_cast<int>(i);
    return -1;
}

bool PRightsKit::parsePrivilegeText(const std::string& privilegeText, PRightsRow& out) {
    out.fill(0);
    std::size_t at = 0;
    while (at <= privilegeText.size()) {
        std::size_t end = privilegeText.find(',', at);
        if (end == std::string::npos) end = privilegeText.size();
        std::string item = privilegeText.substr(at, end - at);
        at = end + 1;
        if (item.empty()) {
            if (privilegeText.empty()) break;
            return false;
        }
        short value = 1;
        const std::size_t eq = item.find('=');
        if (eq != std::string::npos) {
            const std::string v = item.substr(eq + 1);
            if (v != "1" && v != "2") return false;
            value = static_cast<short>(v[0] - '0');
            item.resize(eq);
        }
        int index = -1;
        for (std::size_t i = 0; i + 1 < kPrivilegeNames.size(); ++i)
            if (item == kPrivilegeNames[i]) index = static_cast<int>(i);
        if (index < 0) return false;
        out[static_cast<std::size_t>(index)] = std::max(out[static_cast<std::size_t>(index)], value);
    }
    return true;
}

bool PRightsKit::isPrincipalName(const char* name) {
    if (name == nullptr) return false;
    const std::size_t n = std::strlen(name);
    if (n == 0 || n > 64) return false;
    for (const char* p = name; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
              c == '-' || c == '@'))
            return false;
    }
    return true;
}
