// Arbitrary bytes and carrier changes from the far end of the line, in virtual time.
// Whatever arrives, the station must not crash, hang or touch a file outside the
// restaurant folders and the log folder.
#include "link/LinkEvents.h"
#include "link/TransferLink.h"
#include "support/SimLine.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace dialvane;
using namespace std::chrono_literals;

namespace {

struct Root {
    QTemporaryDir dir;
    QString backroom = dir.path() + "/Backroom/", logs = dir.path() + "/Logs/";
    Root() {
        QDir().mkpath(backroom + "000123");
        QDir().mkpath(logs);
        for (const char* name : {"trfloc", "trfbru1", "trfinv1"}) {
            QFile f(backroom + "000123/" + name);
            f.open(QIODevice::WriteOnly);
            f.write("a,b\r\n\"c,d\"\r\n");
        }
    }
};

void checkNothingOutside(const Root& root) {
    QDirIterator it(root.dir.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const bool inside = path + "/" == root.backroom || path + "/" == root.logs ||
                            path.startsWith(root.backroom + "000123") || path.startsWith(root.logs);
        if (!inside) {
            std::fprintf(stderr, "file outside the station's folders: %s\n", qPrintable(path));
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Root root;
    sim::SimLine line;
    NoEvents events;
    LinkConfig config;
    config.BackroomFolder = root.backroom;
    config.LogFolder = root.logs;
    config.sendDelay = Millis(0);
    TransferLink link(line, events, config);
    link.OpenPort(Connection::Direct, 9600, 1);

    // The input is a script: an operation byte, then its operands.
    Millis at{0};
    std::size_t i = 0;
    while (i < size) {
        const std::uint8_t op = data[i++];
        switch (op % 4) {
        case 0: { // bytes from the site: a length, then that many bytes
            if (i >= size)
                break;
            const std::size_t wanted = data[i++];
            const std::size_t n = std::min(wanted, size - i);
            line.schedule({at, site::Action::Kind::Bytes,
                           QByteArray(reinterpret_cast<const char*>(data + i), qsizetype(n))});
            i += n;
            break;
        }
        case 1:
            line.schedule({at, site::Action::Kind::CarrierUp, {}});
            break;
        case 2:
            line.schedule({at, site::Action::Kind::CarrierDown, {}});
            break;
        case 3: // time passes: up to 25.5 s
            at += Millis(100 * (op >> 2));
            break;
        }
    }
    line.schedule({at + 1h, site::Action::Kind::CarrierDown, {}});
    link.Serve(at + 2h);
    checkNothingOutside(root);
    // Each run starts from the same folders.
    for (const QString& name : QDir(root.logs).entryList(QDir::Files | QDir::Hidden))
        QFile::remove(root.logs + name);
    return 0;
}
