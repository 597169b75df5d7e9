// The status window: loading, showing, hiding and unloading as the link reports, what its
// labels show, and a real call over a network line driving it.
#include "common/EightBitText.h"
#include "link/Block.h"
#include "link/LinkThread.h"
#include "link/ui/StatusWindowHost.h"
#include "link/ui/frmcom.h"
#include "site/Site.h"

#include <QDir>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace dialvane::test {
namespace {

TEST(StatusWindow, FollowsTheLinkAndShowsTheBytesAsReceived) {
    StatusWindowHost host;
    host.setCaption(StatusLabel::Resto, "000123");
    ASSERT_NE(host.window(), nullptr); // loaded by a label, not shown
    EXPECT_FALSE(host.window()->isVisible());
    EXPECT_EQ(host.window()->LBLResto->text(), "000123");
    host.unload();
    EXPECT_EQ(host.window(), nullptr);
    // A call after an unload: shown again, blank until a header arrives.
    host.showStatus();
    EXPECT_TRUE(host.window()->isVisible());
    EXPECT_TRUE(host.window()->LBLResto->text().isEmpty());

    // Whatever a site sends is shown as text, never interpreted.
    const QByteArray block =
        "\x02" + QByteArray("<b>12</b> caf\xe9 &co").leftJustified(126) + "\x03";
    host.setCaption(StatusLabel::Data, block);
    EXPECT_EQ(host.window()->LBLData->text(), fromEightBit(block));
    EXPECT_EQ(host.window()->LBLData->textFormat(), Qt::PlainText);
    host.showFailure("Cannot create /x/000123/itrfinv1.tmp");
    EXPECT_EQ(host.window()->LBLData->text(), "Cannot create /x/000123/itrfinv1.tmp");
}

// A site calling over TCP: the header reaches the window, shown during the call and hidden
// when the site hangs up; closing the port unloads it.
TEST(StatusWindow, ARealCallDrivesTheWindow) {
    QTemporaryDir tmp;
    ASSERT_TRUE(QDir(tmp.path()).mkpath("000123"));
    LinkThread link;
    StatusWindowHost host;
    host.attach(link);
    QSignalSpy opened(&link, &LinkThread::portOpened);
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();
    PortRequest request;
    request.device = QString("tcp:127.0.0.1:%1").arg(port);
    request.config.BackroomFolder = tmp.path() + '/';
    request.config.sendDelay = Millis(0);
    link.reopen(request);
    ASSERT_TRUE(QTest::qWaitFor([&] { return opened.size() == 1; }, 5000));

    QTcpSocket site;
    site.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(site.waitForConnected(5000));
    site.write(site::headerBlock("000123", 'S', '1'));
    // Each block stays in the data field until the next one, whatever the link shows between.
    auto shows = [&](const QByteArray& block, const QString& progress) {
        return [&, block, progress] {
            frmcom* w = host.window();
            return w && w->isVisible() && w->LBLResto->text() == "000123" &&
                   w->LBLMyType->text() == "1" && w->LBLTransaction->text() == "S" &&
                   w->LBLData->text() == QString::fromLatin1(block) &&
                   (progress.isEmpty() || w->LBLProgress->text().startsWith(progress));
        };
    };
    EXPECT_TRUE(QTest::qWaitFor(shows(site::headerBlock("000123", 'S', '1'), ""), 5000));
    site.write(BuildBlock("first record"));
    EXPECT_TRUE(QTest::qWaitFor(
        shows(BuildBlock("first record"), "Data in: 1 blocks, 0 NAKs, 0 re-sent"), 5000));

    site.disconnectFromHost();
    EXPECT_TRUE(QTest::qWaitFor([&] { return host.window() && !host.window()->isVisible(); }, 5000))
        << "hidden, still loaded";
    link.close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !host.window(); }, 5000));
}

} // namespace
} // namespace dialvane::test
