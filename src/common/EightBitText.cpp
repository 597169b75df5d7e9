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

QString printable(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\')
            text += QLatin1Char(c);
        else
            text += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
    return text;
}

} // namespace dialvane
