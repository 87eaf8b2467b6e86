// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

class TClientBase;

/// What a conversation does once its login was accepted.
using TConversationSequence = std::function<void(TClientBase& client)>;

/// One conversation on the calling thread: connects to the client's host,
/// logs in, runs the sequence, rebuilds the views and disconnects. The update
/// timer pauses meanwhile, and an update waits for running folder imports
/// first. A failure is logged and shown in the overview, never raised.
void RunConversation(TClientBase& client, const TConversationSequence& sequence);
