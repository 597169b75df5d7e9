#include "station/TerminalEcho.h"

#include <termios.h>
#include <unistd.h>

#include <cstring>

namespace dialvane {

static_assert(sizeof(termios) <= sizeof(unsigned long[16]));

bool isTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) == 1;
}

EchoOff::EchoOff(std::FILE* stream) : stream_(stream) {
    termios state{};
    if (::tcgetattr(::fileno(stream_), &state) != 0)
        return;
    std::memcpy(saved_, &state, sizeof state);
    state.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    state.c_lflag |= ECHONL; // Enter still moves to the next line
    restore_ = ::tcsetattr(::fileno(stream_), TCSAFLUSH, &state) == 0;
}

EchoOff::~EchoOff() {
    if (!restore_)
        return;
    termios state{};
    std::memcpy(&state, saved_, sizeof state);
    ::tcsetattr(::fileno(stream_), TCSAFLUSH, &state);
}

} // namespace dialvane
