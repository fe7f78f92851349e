// tools/dk/dkPassword.cpp
//
// Reading the password. On a terminal the echo is switched off while the user types, and put
// back even when the user gives up with Ctrl-C, so the shell is never left without echo.

#include "dkPassword.hpp"
#include "dkCli.hpp"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace dkcli {

namespace {

// The terminal state to put back if a signal ends the program while echo is off.
int gTtyFd = -1;
struct termios gSavedTty;

void restoreTtyAndDie(int sig) {
    if (gTtyFd >= 0) tcsetattr(gTtyFd, TCSAFLUSH, &gSavedTty);
    (void)!write(STDERR_FILENO, "\n", 1);
    signal(sig, SIG_DFL);
    raise(sig);
}

std::string withoutLineEnd(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

// Reads one line from the terminal fd with echo off; the prompt goes to the terminal too. Echo
// goes off before the prompt is shown, so nothing typed in answer to it can be echoed.
std::string askOnTerminal(int fd, const std::string& prompt) {
    struct termios quiet;
    if (tcgetattr(fd, &gSavedTty) != 0) throw UsageError("cannot switch off the terminal's echo");
    quiet = gSavedTty;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    gTtyFd = fd;
    auto oldInt = signal(SIGINT, restoreTtyAndDie);
    auto oldTerm = signal(SIGTERM, restoreTtyAndDie);
    tcsetattr(fd, TCSAFLUSH, &quiet);
    (void)!write(fd, prompt.data(), prompt.size());

    std::string line;
    char c;
    ssize_t n;
    while ((n = read(fd, &c, 1)) == 1 && c != '\n') line += c;

    tcsetattr(fd, TCSAFLUSH, &gSavedTty);
    signal(SIGINT, oldInt);
    signal(SIGTERM, oldTerm);
    gTtyFd = -1;
    if (n != 1 && line.empty()) throw UsageError("no password given");
    return withoutLineEnd(line);
}

}  // namespace

namespace {

std::string checked(std::string password, bool isNew) {
    if (isNew && password.empty()) throw UsageError("the new password is empty");
    return password;
}

}  // namespace

namespace {

// Asks on the controlling terminal, so that a password can be asked for while standard input is
// redirected; without one there is nobody to ask. A new password is asked twice.
std::string fromTerminal(const std::string& prompt, bool isNew, const char* otherwise) {
    int fd = open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (fd < 0) throw UsageError(std::string(otherwise) + " (there is no terminal to ask on)");
    try {
        std::string first = checked(askOnTerminal(fd, prompt), isNew);
        if (isNew && askOnTerminal(fd, "Repeat the password: ") != first)
            throw UsageError("the two passwords differ");
        close(fd);
        return first;
    } catch (...) {
        close(fd);
        throw;
    }
}

std::string fromFile(const std::string& file, bool isNew) {
    std::ifstream in(file);
    if (!in) throw UsageError("cannot read the password file " + file);
    std::string line;
    std::getline(in, line);
    return checked(withoutLineEnd(line), isNew);
}

}  // namespace

std::string readPassword(const std::string& passwordFile, const std::string& user, bool isNew) {
    if (!passwordFile.empty()) return fromFile(passwordFile, isNew);
    if (const char* env = std::getenv("DK_PASSWORD"); env && *env) return env;
    return fromTerminal("Password for " + user + ": ", isNew, "no password: use --password-file FILE or set DK_PASSWORD");
}

std::string readNewPassword(const std::string& passwordFile, const std::string& user) {
    if (!passwordFile.empty()) return fromFile(passwordFile, true);
    return fromTerminal("New password for " + user + ": ", true, "no new password: use --new-password-file FILE");
}

}  // namespace dkcli
