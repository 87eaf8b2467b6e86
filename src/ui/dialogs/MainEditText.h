// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include <QDialog>

class QLineEdit;

/// "Text bearbeiten": one text field, "OK" and "Abbrechen". The caller sets
/// the caption (the client description, the Scriptus description, the
/// recording prompt all use it).
class TFormEditText : public QDialog
{
    Q_OBJECT
public:
    explicit TFormEditText(QWidget* parent = nullptr);

    QLineEdit* EditDesc() const { return m_edit; }
    QString Text() const;
    void SetText(const QString& text);

    /// Shows the dialog modally with this caption and text; the edited text
    /// when confirmed with "OK", nothing otherwise.
    static std::optional<QString> Edit(QWidget* parent, const QString& caption, const QString& text);

private:
    QLineEdit* m_edit;
};
