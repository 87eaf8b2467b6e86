// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>

#include <QByteArray>

/// Receives output in pieces of at most 64 KiB; returning false stops the stream.
using TZlibSink = std::function<bool(const char* data, qsizetype size)>;

/// Incremental zlib compression (RFC 1950, level 9): the same bytes as one
/// call over the whole buffer, with memory bounded by the piece size.
class TZlibDeflater
{
public:
    TZlibDeflater();
    ~TZlibDeflater();
    TZlibDeflater(const TZlibDeflater&) = delete;
    TZlibDeflater& operator=(const TZlibDeflater&) = delete;

    /// False when the sink stopped the stream.
    bool Feed(const char* data, qsizetype size, const TZlibSink& sink);
    /// Ends the stream; false when the sink stopped it.
    bool Finish(const TZlibSink& sink);

private:
    struct TState;
    std::unique_ptr<TState> m_state;
};

/// zlib compression (RFC 1950, level 9) on every core: the input is cut into
/// blocks of 256 KiB, each deflated on a thread of its own, primed with the
/// 32 KiB before it (or stored, when samples show it does not shrink) and
/// ended by a flush, and the blocks are joined in order
/// with their checksums combined. One standard zlib stream that any inflater
/// reads, a few bytes a block larger than one call over the whole buffer
/// gives. The sink is called on the feeding thread, in order; memory stays
/// bounded by a few blocks per thread.
class TParallelDeflater
{
public:
    /// threads 0: one per core.
    explicit TParallelDeflater(int threads = 0);
    ~TParallelDeflater();
    TParallelDeflater(const TParallelDeflater&) = delete;
    TParallelDeflater& operator=(const TParallelDeflater&) = delete;

    /// False when the sink stopped the stream.
    bool Feed(const char* data, qsizetype size, const TZlibSink& sink);
    /// Ends the stream; false when the sink stopped it.
    bool Finish(const TZlibSink& sink);

private:
    struct TState;
    std::unique_ptr<TState> m_state;
};

/// Incremental inflation of one zlib stream. Fails on damaged data and on any
/// byte after the end of the stream.
class TZlibInflater
{
public:
    TZlibInflater();
    ~TZlibInflater();
    TZlibInflater(const TZlibInflater&) = delete;
    TZlibInflater& operator=(const TZlibInflater&) = delete;

    /// False for damaged data, data after the end, or a sink that stopped.
    bool Feed(const char* data, qsizetype size, const TZlibSink& sink);
    /// The stream reached its end.
    bool Finished() const;

private:
    struct TState;
    std::unique_ptr<TState> m_state;
};
