#include "station/TerminalEcho.h"

#include <io.h>
#include <windows.h>

namespace dialvane {

bool isTerminal(std::FILE* stream) {
    return ::_isatty(::_fileno(stream)) != 0;
}

EchoOff::EchoOff(std::FILE* stream) : stream_(stream) {
    HANDLE console = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream_)));
    DWORD mode = 0;
    if (!::GetConsoleMode(console, &mode))
        return;
    saved_[0] = mode;
    restore_ = ::SetConsoleMode(console, mode & ~DWORD(ENABLE_ECHO_INPUT)) != 0;
}

EchoOff::~EchoOff() {
    if (restore_)
        ::SetConsoleMode(reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream_))),
                         static_cast<DWORD>(saved_[0]));
}

} // namespace dialvane
