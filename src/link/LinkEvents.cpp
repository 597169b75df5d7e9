#include "link/LinkEvents.h"

#include <atomic>

namespace dialvane {

std::uint64_t takeCallNumber() {
    static std::atomic<std::uint64_t> last{0};
    return ++last;
}

} // namespace dialvane
