// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/dialogs/PromptForm.h"

class QCheckBox;
class QListView;
class QStringListModel;

/// Asks the user of a client whether the objects that are due should be
/// installed now; answers "Ja" by itself when the countdown runs out.
class TFormNewObjects : public TFormPrompt
{
    Q_OBJECT

public:
    explicit TFormNewObjects(QWidget* parent = nullptr);

    /// One line per object ("<target path> (<description>) löschen"). An
    /// empty list is never shown and answers "Nein".
    bool AskFor(const QStringList& objects);

    QListView* ListBoxNewObjects() const { return m_listBoxNewObjects; }
    QCheckBox* CheckBoxDontAskAgain() const { return m_checkBoxDontAskAgain; }

protected:
    void OnYes() override;
    void OnNo() override;

private:
    QStringListModel* m_objects;
    QListView* m_listBoxNewObjects;
    QCheckBox* m_checkBoxDontAskAgain;
};
