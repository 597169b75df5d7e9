#include "common/Paths.h"
#include "textentry/MainModule.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace dialvane;

namespace {

TEST(FolderNormalisation, AppendsTheSeparatorOnlyWhenMissing) {
    EXPECT_EQ(pathSeparator(), QLatin1Char('/'));
    EXPECT_EQ(withTrailingSeparator(QStringLiteral("/srv/data")), QStringLiteral("/srv/data/"));
    EXPECT_EQ(withTrailingSeparator(QStringLiteral("/srv/data/")), QStringLiteral("/srv/data/"));
    EXPECT_EQ(withTrailingSeparator(QString()), QStringLiteral("/"));
    EXPECT_EQ(withTrailingSeparator(QStringLiteral("C:\\")), QStringLiteral("C:\\/"));
}

TEST(FolderNormalisation, FallbackFolderIsTheHomeFolder) {
    EXPECT_EQ(fallbackFolder(), QDir::homePath() + QLatin1Char('/'));
}

TEST(AddBackslash, GivesPathsOfTwoOrMoreCharactersATrailingSeparator) {
    EXPECT_EQ(AddBackslash(QStringLiteral("ab")), QStringLiteral("ab/"));
    EXPECT_EQ(AddBackslash(QStringLiteral("ab/")), QStringLiteral("ab/"));
    EXPECT_EQ(AddBackslash(QStringLiteral("/srv/backroom")), QStringLiteral("/srv/backroom/"));
    EXPECT_EQ(AddBackslash(QStringLiteral("/srv/backroom//")), QStringLiteral("/srv/backroom//"));
}

TEST(AddBackslash, EmptiesShorterTextsButKeepsTheRoot) {
    EXPECT_EQ(AddBackslash(QString()), QString());
    EXPECT_EQ(AddBackslash(QStringLiteral("a")), QString());
    EXPECT_EQ(AddBackslash(QStringLiteral(" ")), QString());
    EXPECT_EQ(AddBackslash(QStringLiteral("/")), QStringLiteral("/"));
}

} // namespace
