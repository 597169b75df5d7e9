#include "common/EightBitText.h"

#include <gtest/gtest.h>

using namespace dialvane;

namespace {

TEST(EightBitText, EveryByteValueSurvivesTheRoundTrip) {
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    const QString text = fromEightBit(all);
    EXPECT_EQ(text.size(), 256);
    EXPECT_EQ(toEightBit(text), all);
}

TEST(EightBitText, AccentedLettersAreOneBytePerCharacter) {
    EXPECT_EQ(fromEightBit(QByteArray("Caf\xE9")), QStringLiteral("Café"));
    EXPECT_EQ(toEightBit(QStringLiteral("Fermé")), QByteArray("Ferm\xE9"));
}

TEST(EightBitText, CharactersOutsideTheCharacterSetBecomeQuestionMarks) {
    EXPECT_EQ(toEightBit(QStringLiteral("5 €")), QByteArray("5 ?"));
    EXPECT_EQ(toEightBit(QStringLiteral("a\u4E2Db")), QByteArray("a?b"));
}

} // namespace
