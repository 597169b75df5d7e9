// The status page as an operator sees it: the real station serves it during a call, headless
// Chromium renders it with the call in progress and the overdue restaurant. The same run takes
// the README's picture (DIALVANE_SCREENSHOT, or $DIALVANE_SCREENSHOT_TO).
#include "StationProcess.h"

#include <QStandardPaths>

namespace dialvane::test {
namespace {

class StatusPageBrowser : public StationProcessTest {
protected:
    // Chromium on `url` with `mode` (--dump-dom, --screenshot=...): what it printed.
    QByteArray chromium(const QStringList& mode, const QString& url) {
        const QString program = QStandardPaths::findExecutable("chromium");
        EXPECT_FALSE(program.isEmpty()) << "chromium is not installed: run scripts/setup";
        if (program.isEmpty())
            return {};
        QTemporaryDir profile;
        QProcess browser;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", profile.path());
        browser.setProcessEnvironment(env);
        browser.start(program,
                      QStringList{"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                                  "--no-first-run", "--disable-background-networking",
                                  "--disable-component-update", "--disable-sync",
                                  "--hide-scrollbars", "--user-data-dir=" + profile.path()} +
                          mode + QStringList{url});
        EXPECT_TRUE(browser.waitForFinished(60000));
        EXPECT_EQ(browser.exitCode(), 0) << browser.readAllStandardError().toStdString();
        return browser.readAllStandardOutput();
    }

    // The text of the section that starts with the heading `heading`, up to the next one.
    static QString section(const QString& dom, const QString& heading) {
        const qsizetype start = dom.indexOf("<h2>" + heading);
        if (start < 0)
            return {};
        const qsizetype end = dom.indexOf("<h2>", start + 4);
        return dom.mid(start, end < 0 ? -1 : end - start);
    }
};

TEST_F(StatusPageBrowser, ShowsTheCallInProgressAndTheOverdueRestaurant) {
    QDir().mkpath(backroom + "000456");
    writeFile(resto("trfbru1"), "x");
    writeFile(backroom + "000456/trfbru1", "x");
    StationProcess service = station("station");
    const quint16 http = freePort();
    WritePrivateProfileString("Http", "Listen", QString("127.0.0.1:%1").arg(http), service.ini());
    service.start("--service");

    // 000123 sends its file, then calls again and is still sending.
    RawSite done;
    ASSERT_TRUE(done.connectTo(service.port()));
    ASSERT_TRUE(done.sendFile({"a", "b"}));
    done.hangUp();
    RawSite calling;
    ASSERT_TRUE(calling.connectTo(service.port()));
    ASSERT_TRUE(calling.exchange(kSendHeader));
    ASSERT_TRUE(calling.sendRecords({"r1", "r2", "r3"}));

    const QString url = QString("http://127.0.0.1:%1/").arg(http);
    const QString dom = QString::fromUtf8(chromium({"--dump-dom"}, url));
    ASSERT_TRUE(dom.contains("<h1>Dialvane COM1</h1>")) << dom.toStdString();
    EXPECT_TRUE(dom.contains(QString("tcp:127.0.0.1:%1) open").arg(service.port())));
    const QString live = section(dom, "Calls in progress: 1");
    EXPECT_TRUE(live.contains("<td>000123</td><td>receive</td><td class=\"n\">3</td>"))
        << live.toStdString();
    const QString overdue = section(dom, "Overdue: 1");
    EXPECT_TRUE(overdue.contains("<td>000456</td>")) << dom.toStdString();
    EXPECT_FALSE(overdue.contains("000123"));
    EXPECT_TRUE(section(dom, "Restaurants: 2").contains("sent itrfinv1: 2 records"));
    EXPECT_TRUE(section(dom, "Last calls").contains("completed"));

    // The picture, at a phone's width, while the call goes on.
    ASSERT_TRUE(calling.sendRecords({"r4"}));
    const QString picture = qEnvironmentVariable("DIALVANE_SCREENSHOT_TO", DIALVANE_SCREENSHOT);
    QFile::remove(picture);
    chromium({"--screenshot=" + picture, "--window-size=412,900"}, url);
    EXPECT_TRUE(readAll(picture).startsWith("\x89PNG")) << picture.toStdString();
    calling.hangUp();
}

} // namespace
} // namespace dialvane::test
