// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <functional>

#include <QByteArrayView>
#include <QTemporaryDir>

#include "app/HeadlessUi.h"

/// A throw-away program folder for one benchmark run: its own home, registry,
/// protocol file and computer name, a silent headless front-end and freshly
/// registered options. Create it after the QCoreApplication.
class TBenchHome
{
public:
    TBenchHome();
    ~TBenchHome();
    TBenchHome(const TBenchHome&) = delete;
    TBenchHome& operator=(const TBenchHome&) = delete;

    QString Path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    std::FILE* m_sink;
    THeadlessUi m_ui;
};

/// The main of a plain benchmark binary: the application, a bench home, every
/// registered benchmark, then the clean-up while the home still exists.
int RunBenchmarks(int argc, char** argv, const std::function<void()>& cleanUp);

class TServerBase;

/// A field of the process's status in KiB ("VmRSS", "VmHWM", "RssFile"); 0
/// when there is none.
long StatusKiB(QByteArrayView field);
/// The process's resident memory now (VmRSS), in KiB.
long ResidentKiB();
/// The bytes the heap has handed out and not taken back (small blocks and
/// mapped ones), which unlike the resident size drops as soon as they are freed.
size_t HeapInUse();

/// The main of a benchmark against a loopback server: the application, a
/// bench home, prepare(), then the server on a free port (handed to the
/// benchmarks through server) while the benchmarks run on a worker and the
/// main thread takes the log entries; cleanUp() while the home still exists.
int RunServerBenchmarks(int argc, char** argv, TServerBase*& server, const std::function<void()>& prepare,
                        const std::function<void()>& cleanUp);
