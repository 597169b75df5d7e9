#pragma once
// Whether standard input is a terminal, and its echo turned off for as long as a password is
// typed. One small file per platform: TerminalEcho_posix.cpp, TerminalEcho_win.cpp.

#include <cstdio>

namespace dialvane {

bool isTerminal(std::FILE* stream);

// Turns the echo of `stream`'s terminal off until destroyed; does nothing for a stream that is
// no terminal.
class EchoOff {
public:
    explicit EchoOff(std::FILE* stream);
    ~EchoOff();
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    std::FILE* stream_;
    bool restore_ = false;
    unsigned long saved_[16] = {}; // the platform's terminal state, as it was
};

} // namespace dialvane
