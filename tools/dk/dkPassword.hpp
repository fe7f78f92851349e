// tools/dk/dkPassword.hpp
#pragma once

// Where `dk` gets the repository password from: a file named on the command line, the
// environment variable DK_PASSWORD, or the terminal with echo turned off.

#include <string>

namespace dkcli {

// The password, taken from passwordFile when it is not empty (its first line, without the line
// end), else from DK_PASSWORD when it is set and not empty, else asked for on the controlling
// terminal. A new password (isNew, for init) must not be empty, and the terminal asks for it
// twice. UsageError when the file cannot be read, when there is no terminal to ask on, when
// the two answers differ or a new password is empty.
std::string readPassword(const std::string& passwordFile, const std::string& user, bool isNew);

// A new password for user: the first line of passwordFile when it is not empty, else asked
// twice on the terminal; never from the environment or the command line. UsageError as above.
std::string readNewPassword(const std::string& passwordFile, const std::string& user);

}  // namespace dkcli
