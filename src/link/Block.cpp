#include "link/Block.h"

#include "common/FixedText.h"

namespace dialvane {

QByteArray BuildBlock(const QByteArray& text) {
    QByteArray block;
    block.reserve(kBlockSize);
    block.append(STX);
    block.append(assignFixed(text, kRecordWidth));
    block.append(ETX);
    return block;
}

bool IsValidBlock(const QByteArray& text) {
    return text.size() == kBlockSize && text.front() == STX && text.back() == ETX;
}

bool isEndRecord(const QByteArray& field) {
    return field.startsWith(kEndMarker);
}

Header parseHeader(const QByteArray& block) {
    return Header{block.mid(1, 6), block.mid(7, 1), block.mid(8, 1)};
}

} // namespace dialvane
