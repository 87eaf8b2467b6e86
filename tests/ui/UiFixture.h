// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QString>
#include <QStringList>

#include "support/TestHome.h"

class QAction;
class QWidget;

/// Answers the modal boxes a test triggers: each box that opens is recorded
/// with its text and closed with the button of the given caption.
class TBoxAnswerer
{
public:
    explicit TBoxAnswerer(const QString& button = QStringLiteral("OK"));
    ~TBoxAnswerer();

    QStringList texts; ///< the texts of the boxes, in order
    QString button;

private:
    void Poll();
    class QTimer* m_timer;
};

/// A test home whose computer is the master server, or a client of another
/// computer (NetServerName written into the options file before start).
class TUiTest : public TTestHome
{
protected:
    void SetUp() override;
    void TearDown() override;
    /// Makes this computer a client of "master01".
    void BecomeClient();
};

/// Runs events so that pending work (queued calls, batches) is done.
void Settle(int milliseconds = 0);
