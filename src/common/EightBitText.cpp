#include "common/EightBitText.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

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

bool isControlCharacter(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

QString escapeControls(const QString& text) {
    const auto needed = [](QChar c) { return isControlCharacter(c.unicode()); };
    if (std::none_of(text.begin(), text.end(), needed))
        return text;
    QString clean;
    clean.reserve(text.size() + 8);
    for (QChar c : text) {
        if (!needed(c))
            clean += c;
        else if (c.unicode() > 0xFF)
            clean += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            clean += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
    }
    return clean;
}

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
