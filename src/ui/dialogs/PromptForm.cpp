// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/PromptForm.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "foundation/MainConfig.h"
#include "platform/VersionInfo.h"
#include "ui/dialogs/Countdown.h"

TFormPrompt::TFormPrompt(const QString& headline, const QString& text, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(ProductName());
    setModal(true);

    m_imageLogo = new QLabel(this);
    m_imageLogo->setObjectName(QStringLiteral("ImageLogo"));
    m_imageLogo->setAccessibleName(ProductName());
    m_imageLogo->setPixmap(QApplication::windowIcon().pixmap(48, 48));

    auto* headlineLabel = new QLabel(headline, this);
    QFont bold = headlineLabel->font();
    bold.setBold(true);
    headlineLabel->setFont(bold);
    auto* textLabel = new QLabel(text, this);
    textLabel->setWordWrap(true);

    m_content = new QVBoxLayout;

    auto* remainingLabel = new QLabel(QStringLiteral("Verbleibende Zeit:"), this);
    m_editRemainingTime = new QLineEdit(this);
    m_editRemainingTime->setObjectName(QStringLiteral("EditRemainingTime"));
    m_editRemainingTime->setAccessibleName(QStringLiteral("Verbleibende Zeit:"));
    m_editRemainingTime->setReadOnly(true);
    remainingLabel->setBuddy(m_editRemainingTime);

    m_buttonYes = new QPushButton(QStringLiteral("Ja"), this);
    m_buttonYes->setObjectName(QStringLiteral("ButtonYes"));
    m_buttonYes->setAccessibleName(QStringLiteral("Ja"));
    m_buttonYes->setDefault(true);
    m_buttonNo = new QPushButton(QStringLiteral("Nein"), this);
    m_buttonNo->setObjectName(QStringLiteral("ButtonNo"));
    m_buttonNo->setAccessibleName(QStringLiteral("Nein"));

    m_countdown = new TCountdown(this, m_editRemainingTime);
    connect(m_countdown, &TCountdown::Expired, this, &QDialog::accept);
    connect(m_buttonYes, &QPushButton::clicked, this, [this] {
        OnYes();
        accept();
    });
    connect(m_buttonNo, &QPushButton::clicked, this, [this] {
        OnNo();
        reject();
    });

    auto* head = new QHBoxLayout;
    head->addWidget(m_imageLogo, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->addWidget(headlineLabel);
    texts->addWidget(textLabel);
    head->addLayout(texts, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(remainingLabel);
    bottom->addWidget(m_editRemainingTime);
    bottom->addStretch(1);
    bottom->addWidget(m_buttonYes);
    bottom->addWidget(m_buttonNo);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addLayout(m_content, 1);
    layout->addLayout(bottom);
}

TFormPrompt::~TFormPrompt()
{
    UnregisterShutdownParticipant(this);
}

bool TFormPrompt::Ask()
{
    if (MainConfig().GetInteger(QStringLiteral("ClientInputWaitTimeInSecs")) <= 0)
        return true;
    m_open = true;
    RegisterShutdownParticipant(TShutdownStep::ClientThreads, this);
    const int result = exec();
    UnregisterShutdownParticipant(this);
    m_open = false;
    return result == QDialog::Accepted;
}

void TFormPrompt::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_countdown->Start(MainConfig().GetInteger(QStringLiteral("ClientInputWaitTimeInSecs")));
    raise();
    activateWindow();
    m_buttonYes->setFocus();
}

void TFormPrompt::done(int result)
{
    m_countdown->Stop();
    QDialog::done(result);
}

bool TFormPrompt::IsRunning()
{
    return m_open;
}

// The shutdown must not wait for a person, nor install on the way out.
void TFormPrompt::RequestStop()
{
    if (isVisible())
        reject();
}
