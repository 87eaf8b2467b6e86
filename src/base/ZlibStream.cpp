// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/ZlibStream.h"

#include <new>

#include <zlib.h>

namespace {

constexpr qsizetype kPiece = 64 * 1024;

} // namespace

struct TZlibDeflater::TState {
    z_stream stream{};
    char out[kPiece];
};

struct TZlibInflater::TState {
    z_stream stream{};
    bool finished = false;
    bool failed = false;
    char out[kPiece];
};

namespace {

// Runs one zlib step until the input is used up (or, when finishing, the
// stream has ended), handing every filled piece to the sink.
template <class TStep>
int Drain(z_stream& stream, char* out, const TZlibSink& sink, TStep step, bool& stopped)
{
    int rc = Z_OK;
    do {
        stream.next_out = reinterpret_cast<Bytef*>(out);
        stream.avail_out = static_cast<uInt>(kPiece);
        rc = step();
        const qsizetype produced = kPiece - static_cast<qsizetype>(stream.avail_out);
        if (produced > 0 && !sink(out, produced)) {
            stopped = true;
            return rc;
        }
    } while ((rc == Z_OK && (stream.avail_in > 0 || stream.avail_out == 0)));
    return rc;
}

} // namespace

TZlibDeflater::TZlibDeflater() : m_state(std::make_unique<TState>())
{
    if (deflateInit(&m_state->stream, 9) != Z_OK)
        throw std::bad_alloc();
}

TZlibDeflater::~TZlibDeflater()
{
    deflateEnd(&m_state->stream);
}

bool TZlibDeflater::Feed(const char* data, qsizetype size, const TZlibSink& sink)
{
    z_stream& stream = m_state->stream;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    stream.avail_in = static_cast<uInt>(size);
    bool stopped = false;
    Drain(
        stream, m_state->out, sink, [&] { return deflate(&stream, Z_NO_FLUSH); }, stopped);
    return !stopped;
}

bool TZlibDeflater::Finish(const TZlibSink& sink)
{
    z_stream& stream = m_state->stream;
    stream.next_in = nullptr;
    stream.avail_in = 0;
    bool stopped = false;
    int rc = Z_OK;
    while (rc == Z_OK && !stopped)
        rc = Drain(
            stream, m_state->out, sink, [&] { return deflate(&stream, Z_FINISH); }, stopped);
    return !stopped && rc == Z_STREAM_END;
}

TZlibInflater::TZlibInflater() : m_state(std::make_unique<TState>())
{
    if (inflateInit(&m_state->stream) != Z_OK)
        throw std::bad_alloc();
}

TZlibInflater::~TZlibInflater()
{
    inflateEnd(&m_state->stream);
}

bool TZlibInflater::Feed(const char* data, qsizetype size, const TZlibSink& sink)
{
    TState& state = *m_state;
    if (state.failed || size == 0)
        return !state.failed;
    if (state.finished)
        return !(state.failed = true);
    z_stream& stream = state.stream;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    stream.avail_in = static_cast<uInt>(size);
    bool stopped = false;
    const int rc = Drain(
        stream, state.out, sink, [&] { return inflate(&stream, Z_NO_FLUSH); }, stopped);
    if (rc == Z_STREAM_END) {
        state.finished = true;
        state.failed = stream.avail_in > 0; // bytes after the end belong to no stream
    } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
        state.failed = true;
    }
    if (stopped)
        state.failed = true;
    return !state.failed;
}

bool TZlibInflater::Finished() const
{
    return m_state->finished && !m_state->failed;
}
