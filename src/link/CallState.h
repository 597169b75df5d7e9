#pragma once
// The state of the call in progress, kept for the whole run of the station.

#include <QByteArray>

#include <cstdint>

namespace dialvane {

struct CallState {
    QByteArray RestoNum = QByteArray(6, ' ');    // restaurant number, 6 bytes, blank when idle
    QByteArray Transaction = QByteArray(1, ' '); // "N" while a header is awaited, "S" receive
    QByteArray MyType = QByteArray(1, ' ');      // suffix of the data file names
    std::int16_t RetryCount = 0;                 // NAKs still allowed

    void blank() {
        RestoNum = QByteArray(6, ' ');
        Transaction = QByteArray(1, ' ');
        MyType = QByteArray(1, ' ');
    }
};

} // namespace dialvane
