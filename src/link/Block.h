#pragma once
// The block of the line protocol, the same in both directions: STX, a 126-byte data field
// filled up with spaces, ETX. No length field, no checksum; one-byte answers ACK and NAK.

#include <QByteArray>

namespace dialvane {

inline constexpr char STX = 2;
inline constexpr char ETX = 3;
inline constexpr char ACK = 6;
inline constexpr char NAK = 21;
inline constexpr int kBlockSize = 128;
inline constexpr int kRecordWidth = 126;
inline const QByteArray kEndMarker = QByteArrayLiteral("$$$END$$$");

// STX + the first 126 bytes of `text` filled up with spaces + ETX.
QByteArray BuildBlock(const QByteArray& text);

// Exactly 128 bytes, STX first, ETX last; the data field may hold anything.
bool IsValidBlock(const QByteArray& text);

// A data field that begins with the end marker ends a file.
bool isEndRecord(const QByteArray& field);

// The header fields: restaurant number (6), transaction code (1), type code (1).
struct Header {
    QByteArray restoNum;
    QByteArray transaction;
    QByteArray myType;
};
Header parseHeader(const QByteArray& block);

} // namespace dialvane
