// include/dk/PRightsKit.hpp
#pragma once

// What every connector that keeps rights reads the same way: the privilege catalogue in the order
// a row of values follows, the privilege text of a set or privilege group ("read,update=2") read
// into such a row, and the rule for user, group, set and ACL names. Both connectors check a text
// with this one reader, so a text one of them takes the other takes too. Stateless; any thread.

#include <dk/PRepositoryAdmin.hpp>
#include <dk/dkExport.hpp>

#include <array>
#include <string>

// The privileges a row of values holds, in catalogue order; administer comes last.
inline constexpr std::array<long, 6> kPrivilegeIds = {PRepositoryAdmin::kRead,   PRepositoryAdmin::kAdd,
                                                      PRepositoryAdmin::kUpdate, PRepositoryAdmin::kDelete,
                                                      PRepositoryAdmin::kMembership, PRepositoryAdmin::kAdminister};
inline constexpr std::array<const char*, 6> kPrivilegeNames = {"read", "add", "update", "delete", "membership",
                                                               "administer"};
using PRightsRow = std::array<short, kPrivilegeIds.size()>;   // a value (0, 1 or 2) per privilege

// The reader and the rule, exported under the kit's name; the free functions below call them.
struct DK_API PRightsKit {
    // The index of a privilege id in a PRightsRow; -1 for an id outside the catalogue.
    static int privilegeIndex(long id);
    // A privilege text read into values (the highest of a name given twice); false for an unknown
    // name, administer (an administrator's alone, never granted through a set), an empty item, or
    // a value other than 1 or 2. The empty text grants nothing.
    static bool parsePrivilegeText(const std::string& privilegeText, PRightsRow& out);
    // A valid user, group, set or ACL name: letters, digits and "._-@", 1 to 64 bytes.
    static bool isPrincipalName(const char* name);
};

inline int privilegeIndex(long id) { return PRightsKit::privilegeIndex(id); }
inline bool parsePrivilegeText(const std::string& privilegeText, PRightsRow& out) {
    return PRightsKit::parsePrivilegeText(privilegeText, out);
}
inline bool isPrincipalName(const char* name) { return PRightsKit::isPrincipalName(name); }
