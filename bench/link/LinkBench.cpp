// Engine cost per block in virtual time: the line costs nothing here, so what is measured is
// the engine itself, file writing and reading included.
#include "link/LinkEvents.h"
#include "link/TransferLink.h"
#include "site/Site.h"
#include "support/SimLine.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace dialvane;
using namespace std::chrono_literals;

namespace {

struct Station {
    QTemporaryDir dir;
    QString backroom = dir.path() + "/Backroom/";
    QString logs = dir.path() + "/Logs/";
    Station() {
        QDir().mkpath(backroom + "000123");
        QDir().mkpath(logs);
    }
    LinkConfig config() const {
        LinkConfig c;
        c.BackroomFolder = backroom;
        c.LogFolder = logs;
        c.sendDelay = Millis(0);
        return c;
    }
};

// A fresh station on a fresh simulated line answers one call of `script`.
bool answerOneCall(const Station& station, const site::SiteScript& script) {
    sim::SimLine line;
    NoEvents events;
    TransferLink link(line, events, station.config());
    link.OpenPort(Connection::Direct, 9600, 1);
    site::Site site(script);
    site.start();
    line.attach(site);
    link.Serve(24h);
    return site.completed();
}

void receivePerBlock(benchmark::State& state) {
    const auto blocks = static_cast<int>(state.range(0));
    Station station;
    site::SiteScript script;
    for (int i = 0; i < blocks; ++i)
        script.records.push_back(QByteArray::number(i).leftJustified(126, 'r'));
    for (auto _ : state) {
        if (!answerOneCall(station, script))
            state.SkipWithError("call did not complete");
    }
    state.SetItemsProcessed(state.iterations() * blocks);
}

void sendPerBlock(benchmark::State& state) {
    const auto blocks = static_cast<int>(state.range(0));
    Station station;
    QByteArray content;
    for (int i = 0; i < blocks; ++i)
        content += QByteArray::number(i).leftJustified(120, 's') + "\r\n";
    for (const char* name : {"trfloc", "trfbru1", "trfinv1"}) {
        QFile f(station.backroom + "000123/" + name);
        f.open(QIODevice::WriteOnly);
        f.write(content);
    }
    site::SiteScript script;
    script.transaction = 'X';
    for (auto _ : state) {
        if (!answerOneCall(station, script))
            state.SkipWithError("call did not complete");
        state.PauseTiming();
        for (const QString& name : QDir(station.logs).entryList(QDir::Files))
            QFile::remove(station.logs + name);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * blocks * 3);
}

} // namespace

BENCHMARK(receivePerBlock)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(sendPerBlock)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
