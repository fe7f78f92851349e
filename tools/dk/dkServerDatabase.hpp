// tools/dk/dkServerDatabase.hpp
#pragma once

// What `dk init` does to a server's database beyond the connector: dropping the database it made
// when setting the repository up failed. The connector keeps the database's contents; making and
// dropping the database itself belongs to whoever owns it, and the tool owns a database only
// while init runs.

#include <string>

namespace dkcli {

// Drops the database the server URI names (as that role, which created it and so owns it),
// ending any session still on it. Best effort: the set-up failure is what init reports, so a
// failure here is returned as a text ("" when dropped), never thrown.
std::string dropServerDatabase(const std::string& uri, const std::string& user, const std::string& password);

}  // namespace dkcli
