// SPDX-License-Identifier: GPL-3.0-or-later
// A small Qt Widgets program the Scriptus tests drive. It reports every
// change a test may check as one line on standard output.
#include <cstdio>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

namespace {

void Report(const QString& line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

class TProbeWindow : public QWidget
{
public:
    explicit TProbeWindow(int controls)
    {
        auto* layout = new QVBoxLayout(this);
        if (controls > 0) {
            // Many buttons for the benchmark, not all of them on screen.
            auto* area = new QScrollArea;
            auto* inner = new QWidget;
            auto* grid = new QGridLayout(inner);
            for (int i = 0; i < controls; ++i)
                grid->addWidget(new QPushButton(QStringLiteral("Knopf %1").arg(i + 1)), i / 10, i % 10);
            area->setWidget(inner);
            layout->addWidget(area);
            return;
        }
        auto* next = new QPushButton(QStringLiteral("Weiter"));
        next->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(next, &QPushButton::clicked, [] { Report(QStringLiteral("click Weiter")); });
        connect(next, &QWidget::customContextMenuRequested, [] { Report(QStringLiteral("rightclick Weiter")); });
        auto* ask = new QPushButton(QStringLiteral("Meldung"));
        connect(ask, &QPushButton::clicked, this, &TProbeWindow::Ask);
        auto* option = new QCheckBox(QStringLiteral("Option"));
        connect(option, &QCheckBox::toggled, [](bool on) { Report(QStringLiteral("check Option %1").arg(on)); });
        auto* name = new QLineEdit;
        name->setAccessibleName(QStringLiteral("Name"));
        connect(name, &QLineEdit::textChanged, [](const QString& text) { Report("text Name " + text); });
        auto* list = new QListWidget;
        list->setAccessibleName(QStringLiteral("Liste"));
        list->addItems({QStringLiteral("Eins"), QStringLiteral("Zwei"), QStringLiteral("Drei")});
        connect(list, &QListWidget::itemSelectionChanged, [list] {
            for (const QListWidgetItem* item : list->selectedItems())
                Report("select Liste " + item->text());
        });
        auto* combo = new QComboBox;
        combo->setAccessibleName(QStringLiteral("Auswahl"));
        combo->addItems({QStringLiteral("Rot"), QStringLiteral("Gruen"), QStringLiteral("Blau")});
        connect(combo, &QComboBox::currentTextChanged, [](const QString& text) { Report("select Auswahl " + text); });
        for (QWidget* w : {static_cast<QWidget*>(next), static_cast<QWidget*>(ask), static_cast<QWidget*>(option),
                           static_cast<QWidget*>(name), static_cast<QWidget*>(list), static_cast<QWidget*>(combo)})
            layout->addWidget(w);
    }

    void Ask()
    {
        const auto answer = QMessageBox::question(this, QStringLiteral("Frage"), QStringLiteral("Fortfahren?"));
        Report(answer == QMessageBox::Yes ? QStringLiteral("message Ja") : QStringLiteral("message Nein"));
    }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        Report(QStringLiteral("closed"));
        event->accept();
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        Report(QStringLiteral("key %1").arg(event->key()));
        QWidget::keyPressEvent(event);
    }
};

// An installer's wizard: a button made anew under the same path, two
// question boxes of one title one after the other, a short field and a page
// stack whose hidden page holds a twin of the visible page's field.
class TWizardWindow : public QWidget
{
public:
    TWizardWindow()
    {
        m_layout = new QVBoxLayout(this);
        auto* renew = new QPushButton(QStringLiteral("Neu"));
        connect(renew, &QPushButton::clicked, this, &TWizardWindow::Renew);
        auto* ask = new QPushButton(QStringLiteral("Fragen"));
        connect(ask, &QPushButton::clicked, this, [this] { Ask(1); });
        auto* brief = new QLineEdit;
        brief->setAccessibleName(QStringLiteral("Kurz"));
        brief->setMaxLength(3);
        connect(brief, &QLineEdit::textChanged, [](const QString& text) { Report("text Kurz " + text); });
        auto* pages = new QStackedWidget;
        for (int page = 1; page <= 2; ++page) {
            auto* inner = new QWidget;
            auto* field = new QLineEdit;
            field->setAccessibleName(QStringLiteral("Feld"));
            connect(field, &QLineEdit::textChanged,
                    [page](const QString& text) { Report(QStringLiteral("text Seite%1 ").arg(page) + text); });
            (new QVBoxLayout(inner))->addWidget(field);
            pages->addWidget(inner);
        }
        pages->setCurrentIndex(1);
        for (QWidget* w : {static_cast<QWidget*>(renew), static_cast<QWidget*>(ask), static_cast<QWidget*>(brief),
                           static_cast<QWidget*>(pages)})
            m_layout->addWidget(w);
        m_layout->insertWidget(1, MakeFinish());
        auto* more = new QPushButton(QStringLiteral("Mehr"));
        connect(more, &QPushButton::clicked, this, &TWizardWindow::More);
        auto* retitle = new QPushButton(QStringLiteral("Umbenennen"));
        connect(retitle, &QPushButton::clicked, this, [this] {
            setWindowTitle(QStringLiteral("Seite 2"));
            Report(QStringLiteral("retitled"));
        });
        m_layout->addWidget(more);
        m_layout->addWidget(retitle);
    }

private:
    QPushButton* MakeFinish()
    {
        m_finish = new QPushButton(QStringLiteral("Fertig"));
        connect(m_finish, &QPushButton::clicked, [] { Report(QStringLiteral("click Fertig")); });
        return m_finish;
    }
    void Renew()
    {
        delete m_finish;
        m_layout->insertWidget(1, MakeFinish());
        Report(QStringLiteral("renewed"));
    }
    // A control the window gains after it was read; its centre on the screen
    // is told once it is laid out.
    void More()
    {
        auto* later = new QPushButton(QStringLiteral("Später"));
        m_layout->addWidget(later);
        QTimer::singleShot(200, later, [later] {
            const QPoint centre = later->mapToGlobal(later->rect().center());
            Report(QStringLiteral("made %1 %2").arg(centre.x()).arg(centre.y()));
        });
    }
    void Ask(int number)
    {
        auto* box = new QMessageBox(QMessageBox::Question, QStringLiteral("Frage"),
                                    QStringLiteral("Frage %1").arg(number), QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        connect(box, &QMessageBox::finished, this, [this, number] {
            Report(QStringLiteral("frage %1").arg(number));
            if (number == 1)
                QTimer::singleShot(300, this, [this] { Ask(2); });
        });
        box->open();
        Report(QStringLiteral("asked %1").arg(number));
    }

    QVBoxLayout* m_layout = nullptr;
    QPushButton* m_finish = nullptr;
};

} // namespace

// Options: --title=T, --controls=N (benchmark buttons), --message-after=MS
// (opens the question box by itself), --busy=MS (does not answer for that
// long every second, as a busy program), --wizard (the wizard window instead).
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QString title = QStringLiteral("Qt-Testanwendung");
    int controls = 0;
    int messageAfter = -1;
    int busy = 0;
    bool wizard = false;
    for (const QString& arg : app.arguments().mid(1)) {
        if (arg.startsWith(QLatin1String("--title=")))
            title = arg.mid(8);
        else if (arg.startsWith(QLatin1String("--controls=")))
            controls = arg.mid(11).toInt();
        else if (arg.startsWith(QLatin1String("--message-after=")))
            messageAfter = arg.mid(16).toInt();
        else if (arg.startsWith(QLatin1String("--busy=")))
            busy = arg.mid(7).toInt();
        else if (arg == QLatin1String("--wizard"))
            wizard = true;
    }
    QObject::connect(&app, &QApplication::focusChanged, [](QWidget*, QWidget* now) {
        if (now && !now->accessibleName().isEmpty())
            Report("focus " + now->accessibleName());
    });
    TProbeWindow window(controls);
    TWizardWindow wizardWindow;
    QWidget& shown = wizard ? static_cast<QWidget&>(wizardWindow) : window;
    shown.setWindowTitle(title);
    shown.show();
    if (messageAfter >= 0)
        QTimer::singleShot(messageAfter, &window, &TProbeWindow::Ask);
    QTimer busyTimer;
    if (busy > 0) {
        QObject::connect(&busyTimer, &QTimer::timeout, [busy] { QThread::msleep(static_cast<unsigned long>(busy)); });
        busyTimer.start(1000);
    }
    QTimer::singleShot(0, [] { Report(QStringLiteral("ready")); });
    return app.exec();
}
