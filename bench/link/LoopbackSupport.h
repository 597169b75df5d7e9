#pragma once
// What the loopback benchmarks share: a station's network line opened on a free loopback port,
// the process's CPU time and percentiles.

#include "link/LinkThread.h"

#include <QTcpServer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
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

// Opens `request` as a network line on a free port of 127.0.0.1 and returns that port: an
// encrypted one when the request names a certificate.
inline quint16 openLoopbackLine(dialvane::LinkThread& link, dialvane::PortRequest request) {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    request.device = QStringLiteral("%1:127.0.0.1:%2")
                         .arg(request.tls.certificateFile.isEmpty() ? "tcp" : "tls")
                         .arg(port);
    link.reopen(request);
    link.waitIdle();
    return port;
}

// The station's certificate and key, and a restaurant's (000001 to `restaurants`), made with
// the openssl command line in `folder`; the request's encryption set to them. False (said)
// when openssl failed.
#include "support/TestCertificates.h"

inline bool encryptLine(dialvane::PortRequest& request, const QString& folder, int restaurants) {
    dialvane::test::TestCertificates pki(folder);
    bool made = pki.authority("ca") && pki.issue("station", "ca", "station", 30, "127.0.0.1");
    for (int i = 1; made && i <= restaurants; ++i) {
        const QString number = QString::number(i).rightJustified(6, '0');
        made = pki.issue(number, "ca", number);
    }
    if (!made)
        std::printf("certificates: %s\n", qPrintable(pki.error()));
    request.tls = {pki.cert("station"), pki.key("station"), pki.cert("ca"), {}};
    return made;
}
