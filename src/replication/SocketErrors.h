// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/Exceptions.h"

/// The connection broke, was closed by the peer, or could not be made.
class ESocketError : public EPlenwick
{
public:
    using EPlenwick::EPlenwick;
};

/// The peer closed the connection in order where a new line would begin: the
/// normal end of a conversation, not a broken one.
class EConnectionEnded : public ESocketError
{
public:
    using ESocketError::ESocketError;
};

/// The TLS handshake failed, or a record was not what TLS allows.
class ETlsError : public ESocketError
{
public:
    using ESocketError::ESocketError;
};
