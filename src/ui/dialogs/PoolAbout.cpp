// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/PoolAbout.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "foundation/PoolConfig.h"
#include "foundation/ServiceMode.h"
#include "platform/VersionInfo.h"
#include "replication/HostKey.h"
#include "ui/main/IconTable.h"

namespace {

constexpr int kFadeMs = 30;
constexpr int kFadeTop = 250;
const QString kSuppress = QStringLiteral("SuppressSplashScreen");

// Directly under the program's registry key, per user.
std::unique_ptr<TConfig> SplashConfig()
{
    auto config = std::make_unique<TConfig>();
    config->SetRootKey(TRegistryHive::CurrentUser);
    config->SetPersistenceMode(static_cast<quint8>(TPersistenceMode::Registry));
    config->Register(QString(), kSuppress, false, false, TValueKind::Boolean, false);
    return config;
}

// What a service's working folder is here; a process started from it is no
// interactive start.
bool StartedFromSystemFolder()
{
    return QDir::currentPath() == QDir::rootPath();
}

} // namespace

QString BuildNumberText(const QString& fileVersion)
{
    const qsizetype dot = fileVersion.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return fileVersion;
    return fileVersion.left(dot) + QStringLiteral(" (Build No. ") + fileVersion.mid(dot + 1) + QLatin1Char(')');
}

TFormAbout::TFormAbout(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormAbout"));
    const QString product = ProductName();
    setWindowTitle(QStringLiteral("Über ") + product);
    setAccessibleName(QStringLiteral("Über ") + product);
    auto* column = new QVBoxLayout(this);
    auto* headline = new QLabel(QStringLiteral("  Informationen über dieses Programm"), this);
    QFont bold = headline->font();
    bold.setBold(true);
    headline->setFont(bold);
    headline->setAccessibleName(headline->text().trimmed());
    column->addWidget(headline);

    auto* row = new QHBoxLayout;
    auto* logo = new QLabel(this);
    logo->setPixmap(IconTable::OwnIcon(46).pixmap(64, 64));
    logo->setAccessibleName(QStringLiteral("Logo"));
    row->addWidget(logo, 0, Qt::AlignTop);
    auto* fields = new QVBoxLayout;
    auto field = [this, fields](const QString& text, const QString& name, qreal scale) {
        auto* label = new QLabel(text, this);
        label->setObjectName(name);
        label->setAccessibleName(text);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        if (scale != 1.0) {
            QFont font = label->font();
            font.setBold(true);
            font.setPointSizeF(font.pointSizeF() * scale);
            label->setFont(font);
        }
        fields->addWidget(label);
    };
    field(product, QStringLiteral("LabelProductName"), 1.8);
    field(OwnVersionString(QStringLiteral("FileDescription")), QStringLiteral("LabelFileDescription"), 1.0);
    field(OwnVersionString(QStringLiteral("LegalCopyright")), QStringLiteral("LabelCopyright"), 1.0);
    field(BuildNumberText(OwnVersionString(QStringLiteral("FileVersion"))), QStringLiteral("LabelFileVersion"), 1.0);
    field(QStringLiteral("Schlüssel dieses Computers: ") + OwnFingerprintText(), QStringLiteral("LabelFingerprint"),
          1.0);
    row->addLayout(fields, 1);
    column->addLayout(row);

    m_suppress = new QCheckBox(QStringLiteral("Keinen Infoschirm zeigen"), this);
    m_suppress->setAccessibleName(m_suppress->text());
    m_suppress->hide(); // made for the start screen, never offered
    connect(m_suppress, &QCheckBox::clicked, this, [](bool checked) {
        auto config = SplashConfig();
        config->Set(kSuppress, checked);
        config->SaveAll();
    });
    column->addWidget(m_suppress);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("ButtonOk"));
    ok->setAccessibleName(QStringLiteral("OK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    column->addWidget(ok, 0, Qt::AlignRight);

    m_fade = new QTimer(this);
    m_fade->setInterval(kFadeMs);
    connect(m_fade, &QTimer::timeout, this, &TFormAbout::FadeTick);
}

bool TFormAbout::SplashWanted()
{
    if (RunningAsService() || StartedFromSystemFolder())
        return false;
    return !SplashConfig()->GetBoolean(kSuppress);
}

void TFormAbout::StartSplash()
{
    m_level = 0;
    m_step = 2;
    setWindowOpacity(0.0);
    show();
    m_fade->start();
}

void TFormAbout::StopSplash()
{
    if (!m_fade->isActive())
        return;
    m_fade->stop();
    m_level = 0;
    hide();
    setWindowOpacity(1.0);
}

bool TFormAbout::Fading() const
{
    return m_fade->isActive();
}

void TFormAbout::FadeTick()
{
    if (m_level == 0 && m_step > 0)
        activateWindow();
    m_level += m_step;
    if (m_level >= kFadeTop)
        m_step = -2;
    if (m_level <= 0) {
        StopSplash();
        return;
    }
    setWindowOpacity(m_level / 255.0);
}

void TFormAbout::ShowAbout()
{
    if (isVisible() && !Fading())
        return;
    StopSplash();
    exec();
}

void TFormAbout::closeEvent(QCloseEvent* event)
{
    StopSplash();
    QDialog::closeEvent(event);
}
