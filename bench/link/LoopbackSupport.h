#pragma once
// What the loopback benchmarks share: a station's network line opened on a free loopback port,
// the process's CPU time and percentiles.

#include "link/LinkThread.h"

#include <QTcpServer>

#include <sys/resource.h>

#include <algorithm>
#include <vector>

inline double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

inline double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * (v.size() - 1))];
}

// Opens `request` as a network line on a free port of 127.0.0.1 and returns that port.
inline quint16 openLoopbackLine(dialvane::LinkThread& link, dialvane::PortRequest request) {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    request.device = QStringLiteral("tcp:127.0.0.1:%1").arg(port);
    link.reopen(request);
    link.waitIdle();
    return port;
}
