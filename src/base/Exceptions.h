// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>

#include <QString>

/// Base of every failure of this program: carries only its German message.
class EPlenwick : public std::runtime_error
{
public:
    explicit EPlenwick(const QString& message) : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString& Message() const { return m_message; }

private:
    QString m_message;
};

/// A text that should hold a number does not.
class EConvertError : public EPlenwick
{
public:
    using EPlenwick::EPlenwick;
};

/// A file could not be read or written.
class EInOutError : public EPlenwick
{
public:
    using EPlenwick::EPlenwick;
};

/// The message text of any exception, as protocol entries quote it.
QString ExceptionText(const std::exception& error);
