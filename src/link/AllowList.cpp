#include "link/AllowList.h"

namespace dialvane {

AllowList AllowList::parse(const QString& text, QStringList* invalid) {
    AllowList list;
    for (QString entry : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        entry = entry.trimmed();
        if (entry.isEmpty())
            continue;
        list.restricted_ = true;
        if (!entry.contains(QLatin1Char('/'))) {
            const QHostAddress address(entry);
            if (!address.isNull()) {
                const int bits = address.protocol() == QAbstractSocket::IPv6Protocol ? 128 : 32;
                list.ranges_.emplace_back(address, bits);
                continue;
            }
        } else if (const auto range = QHostAddress::parseSubnet(entry); !range.first.isNull()) {
            list.ranges_.push_back(range);
            continue;
        }
        if (invalid)
            *invalid << entry;
    }
    return list;
}

bool AllowList::allows(const QHostAddress& peer) const {
    if (!restricted_)
        return true;
    QHostAddress address = peer;
    bool mapped = false;
    const quint32 v4 = peer.toIPv4Address(&mapped);
    if (mapped)
        address = QHostAddress(v4);
    for (const auto& range : ranges_)
        if (address.isInSubnet(range))
            return true;
    return false;
}

} // namespace dialvane
