#include "common/EightBitText.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace dialvane {

#ifdef Q_OS_WIN
QString fromEightBit(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::System);
    return decoder.decode(bytes);
}

QByteArray toEightBit(const QString& text) {
    QStringEncoder encoder(QStringEncoder::System);
    return encoder.encode(text);
}
#else
QString fromEightBit(const QByteArray& bytes) {
    return QString::fromLatin1(bytes);
}

QByteArray toEightBit(const QString& text) {
    return text.toLatin1();
}
#endif

} // namespace dialvane
