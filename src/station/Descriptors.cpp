#include "station/Descriptors.h"

#include <QtGlobal>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace dialvane {

long raiseDescriptorLimit() {
#ifdef Q_OS_UNIX
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 1024;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY ? 1L << 20 : static_cast<long>(limit.rlim_cur);
#else
    return 1L << 20; // counted differently there, and plentiful
#endif
}

int callsAllowedBy(long limit) {
    return static_cast<int>(
        std::clamp<long>((limit - kDescriptorsKept) / kDescriptorsPerCall, 1, 32767));
}

} // namespace dialvane
