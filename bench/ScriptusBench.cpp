// SPDX-License-Identifier: GPL-3.0-or-later
// Scriptus on a private desktop: reading the control list and finding a path
// with 10, 100 and 1 000 controls of a Qt and of a GTK test program, and the
// time from a row's start to its click arriving in the program when the
// control is already listed, and a script of 20 rows, row by row. The benchmarks run on a worker; the main thread
// takes the protocol entries, as in the program.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include "scriptus/ScriptusThread.h"
#include "scriptus/SyncControl.h"
#include "support/BenchHome.h"
#include "support/DesktopSession.h"

namespace {

using Clock = std::chrono::steady_clock;

TDesktopSession* g_desktop = nullptr;

const char* Probe(std::int64_t toolkit)
{
    return toolkit == 0 ? SCRIPTUS_QT_PROBE : SCRIPTUS_GTK_PROBE;
}

// One test program at a time on the desktop, so the list holds its controls only.
class TProgramOnDesktop
{
public:
    TDesktopSession::TProgram* Start(std::int64_t toolkit, std::int64_t controls)
    {
        if (m_program && toolkit == m_toolkit && controls == m_controls)
            return m_program;
        End();
        std::vector<std::string> argv{Probe(toolkit)};
        if (controls > 0)
            argv.push_back("--controls=" + std::to_string(controls));
        m_program = g_desktop->Launch(argv);
        m_toolkit = toolkit;
        m_controls = controls;
        if (TDesktopSession::WaitForLine(*m_program, "ready", 30000).empty())
            return nullptr;
        return m_program;
    }
    void End()
    {
        if (m_program)
            g_desktop->End(m_program);
        m_program = nullptr;
    }

private:
    TDesktopSession::TProgram* m_program = nullptr;
    std::int64_t m_toolkit = -1;
    std::int64_t m_controls = -1;
};

TProgramOnDesktop g_program;

TSyncControl* FindNamed(const QString& name, const QString& className)
{
    for (TSyncControl* c = FirstControl(); c; c = NextControl(c))
        if (c->NameElement() == name && c->ClassName() == className)
            return c;
    return nullptr;
}

// Reads the list until the program's last button is in it: a program shows
// its controls a moment after it reports ready.
TSyncControl* ListWith(const QString& name, const QString& className)
{
    const Clock::time_point end = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < end) {
        FreeControlList();
        ReadControlList();
        if (TSyncControl* found = FindNamed(name, className))
            return found;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return nullptr;
}

QString LastButton(std::int64_t controls)
{
    return QStringLiteral("Knopf %1").arg(controls);
}

void SetLabels(benchmark::State& state)
{
    state.SetLabel(state.range(0) == 0 ? "Qt" : "GTK");
}

void BM_ReadControlList(benchmark::State& state)
{
    SetLabels(state);
    if (!g_program.Start(state.range(0), state.range(1)) ||
        !ListWith(LastButton(state.range(1)), QStringLiteral("push button"))) {
        state.SkipWithError("Testprogramm zeigt seine Kontrollelemente nicht");
        return;
    }
    std::size_t elements = 0;
    for (auto _ : state) {
        state.PauseTiming();
        FreeControlList();
        state.ResumeTiming();
        ReadControlList();
        state.PauseTiming();
        elements = 0;
        for (TSyncControl* c = FirstControl(); c; c = NextControl(c))
            ++elements;
        state.ResumeTiming();
    }
    state.counters["elements"] = static_cast<double>(elements);
}

void BM_FindControlByPath(benchmark::State& state)
{
    SetLabels(state);
    TSyncControl* last = nullptr;
    if (g_program.Start(state.range(0), state.range(1)))
        last = ListWith(LastButton(state.range(1)), QStringLiteral("push button"));
    if (!last) {
        state.SkipWithError("Testprogramm zeigt seine Kontrollelemente nicht");
        return;
    }
    // The list's last element with a path of its own: the search passes all.
    std::vector<TSyncControl*> elements;
    for (TSyncControl* c = FirstControl(); c; c = NextControl(c))
        elements.push_back(c);
    TSyncControl* wanted = last;
    for (auto c = elements.rbegin(); c != elements.rend(); ++c)
        if (FindControlByPath(ControlPath(*c)) == *c) {
            wanted = *c;
            break;
        }
    const QString path = ControlPath(wanted).toUpper();
    for (auto _ : state)
        if (FindControlByPath(path) != wanted)
            state.SkipWithError("Pfad nicht gefunden");
}

// A click row on the program's button "Weiter", already in the list: from the
// start of the run to the program reporting the click.
void BM_RowStartToAction(benchmark::State& state)
{
    SetLabels(state);
    TDesktopSession::TProgram* program = g_program.Start(state.range(0), 0);
    TSyncControl* button = program ? ListWith(QStringLiteral("Weiter"), QStringLiteral("push button")) : nullptr;
    if (!button) {
        state.SkipWithError("Testprogramm zeigt seine Kontrollelemente nicht");
        return;
    }
    TScriptusRow row;
    row.Command.Kind = ClickLeft;
    row.Command.ControlPath = ControlPath(button);
    row.Command.HasPosition = true;
    row.Command.X = 5;
    row.Command.Y = 5;
    double worstMs = 0;
    for (auto _ : state) {
        TDesktopSession::TakeLines(*program);
        const Clock::time_point start = Clock::now();
        if (!StartScriptus({row}, {})) {
            state.SkipWithError("Ausführer läuft schon");
            break;
        }
        if (TDesktopSession::WaitForLine(*program, "click Weiter", 10000).empty()) {
            state.SkipWithError("kein Klick angekommen");
            break;
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        worstMs = std::max(worstMs, seconds * 1000);
        state.SetIterationTime(seconds);
        while (ScriptusRunning())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    state.counters["worst_ms"] = worstMs;
}

// A script of 20 text rows into the program's field "Name", each counting
// once its text reads back: from the run's start to each text arriving in
// the program, per row the mean and the worst.
void BM_TwentyRowScript(benchmark::State& state)
{
    constexpr int kRows = 20;
    SetLabels(state);
    TDesktopSession::TProgram* program = g_program.Start(state.range(0), 0);
    TSyncControl* field = program ? ListWith(QStringLiteral("Name"), QStringLiteral("text")) : nullptr;
    if (!field) {
        state.SkipWithError("Testprogramm zeigt seine Kontrollelemente nicht");
        return;
    }
    std::vector<TScriptusRow> rows(kRows);
    for (int i = 0; i < kRows; ++i) {
        rows[i].Command.Kind = SetText;
        rows[i].Command.ControlPath = ControlPath(field);
        rows[i].Command.Text = QStringLiteral("Zeile %1").arg(i + 10);
    }
    double worstMs = 0;
    double sumMs = 0;
    int done = 0;
    for (auto _ : state) {
        TDesktopSession::TakeLines(*program);
        const Clock::time_point start = Clock::now();
        if (!StartScriptus(rows, {})) {
            state.SkipWithError("Ausführer läuft schon");
            break;
        }
        Clock::time_point last = start;
        for (int i = 0; i < kRows; ++i) {
            if (TDesktopSession::WaitForLine(*program, "text Name Zeile " + std::to_string(i + 10), 10000).empty()) {
                state.SkipWithError("ein Text kam nicht an");
                return;
            }
            const Clock::time_point now = Clock::now();
            worstMs = std::max(worstMs, std::chrono::duration<double, std::milli>(now - last).count());
            last = now;
        }
        const double seconds = std::chrono::duration<double>(last - start).count();
        sumMs += seconds * 1000;
        done += kRows;
        state.SetIterationTime(seconds);
        while (ScriptusRunning())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    state.counters["mean_row_ms"] = done > 0 ? sumMs / done : 0;
    state.counters["worst_row_ms"] = worstMs;
}

void ControlCounts(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"toolkit", "controls"});
    for (std::int64_t toolkit : {0, 1})
        for (std::int64_t controls : {10, 100, 1000})
            b->Args({toolkit, controls});
}

BENCHMARK(BM_ReadControlList)->Apply(ControlCounts)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FindControlByPath)->Apply(ControlCounts)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_RowStartToAction)
    ->ArgName("toolkit")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TwentyRowScript)
    ->ArgName("toolkit")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    QCoreApplication app(argc, argv);
    TBenchHome home;
    TDesktopSession desktop;
    if (!desktop.Start()) {
        std::fprintf(stderr, "%s\n", desktop.Error().c_str());
        return 1;
    }
    g_desktop = &desktop;
    std::thread runner([&] {
        benchmark::RunSpecifiedBenchmarks();
        g_program.End();
        FreeControlList();
        QMetaObject::invokeMethod(
            &app, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    });
    const int rc = app.exec();
    runner.join();
    benchmark::Shutdown();
    return rc;
}
