#pragma once
// Who may call a network line: addresses and CIDR ranges, IPv4 and IPv6 ("10.1.0.0/16,
// 192.0.2.7, 2001:db8::/32"). An empty list allows anyone who can reach the address. A peer
// seen as an IPv4-mapped IPv6 address (a dual-stack listener) is matched as its IPv4 address.

#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

namespace dialvane {

class AllowList {
public:
    // Entries that are no address or range are left out and named in `invalid`. A list whose
    // every entry was invalid allows no one: a typo must not open the line to everybody.
    static AllowList parse(const QString& text, QStringList* invalid = nullptr);

    bool allows(const QHostAddress& peer) const;
    bool allowsAnyone() const { return !restricted_; }

private:
    bool restricted_ = false;
    std::vector<std::pair<QHostAddress, int>> ranges_;
};

} // namespace dialvane
