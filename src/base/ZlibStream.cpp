// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/ZlibStream.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <utility>
#include <vector>

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

namespace {

constexpr qsizetype kBlock = 256 * 1024;
constexpr qsizetype kWindow = 32 * 1024;

// One block of input and, once a worker is done with it, its raw deflate form.
struct TBlock {
    QByteArray dictionary; // the 32 KiB of input before it
    QByteArray input;
    bool last = false;
    QByteArray output;
    uLong adler = 1;
    bool done = false;
    bool failed = false;
};

// A worker's two zlib streams, made once: a stream costs about 300 KiB,
// which a fresh one per block would take from the system and fault in anew.
class TWorkerStreams
{
public:
    TWorkerStreams()
    {
        m_ready = deflateInit2(&m_block, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
        m_ready = deflateInit2(&m_sample, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK && m_ready;
    }
    ~TWorkerStreams()
    {
        deflateEnd(&m_block);
        deflateEnd(&m_sample);
    }
    TWorkerStreams(const TWorkerStreams&) = delete;
    TWorkerStreams& operator=(const TWorkerStreams&) = delete;

    void Deflate(TBlock& block)
    {
        if (!m_ready) {
            block.failed = true;
            return;
        }
        z_stream& stream = m_block;
        const bool store = LooksIncompressible(block);
        deflateReset(&stream);
        // Right after a reset the level changes without emitting anything.
        deflateParams(&stream, store ? 0 : 9, Z_DEFAULT_STRATEGY);
        if (!store && !block.dictionary.isEmpty())
            deflateSetDictionary(&stream, reinterpret_cast<const Bytef*>(block.dictionary.constData()),
                                 static_cast<uInt>(block.dictionary.size()));
        block.output.resize(static_cast<qsizetype>(deflateBound(&stream, static_cast<uLong>(block.input.size()))) + 16);
        stream.next_in = reinterpret_cast<Bytef*>(block.input.data());
        stream.avail_in = static_cast<uInt>(block.input.size());
        stream.next_out = reinterpret_cast<Bytef*>(block.output.data());
        stream.avail_out = static_cast<uInt>(block.output.size());
        // A sync flush ends the block on a byte boundary without ending the stream.
        const int rc = deflate(&stream, block.last ? Z_FINISH : Z_SYNC_FLUSH);
        block.failed = block.last ? rc != Z_STREAM_END : rc != Z_OK || stream.avail_in != 0;
        block.output.resize(block.output.size() - static_cast<qsizetype>(stream.avail_out));
        block.adler =
            adler32(1, reinterpret_cast<const Bytef*>(block.input.constData()), static_cast<uInt>(block.input.size()));
    }

private:
    // Level 9 spends seconds per 100 MiB on random or already packed bytes
    // only to store them in the end. Three samples, each deflated fast with
    // the 32 KiB before it, tell such a block: when none shrinks by 1/64, it
    // is stored.
    bool LooksIncompressible(const TBlock& block)
    {
        constexpr qsizetype kSample = 4096;
        const QByteArray& input = block.input;
        if (input.size() < 4 * kSample)
            return false;
        z_stream& stream = m_sample;
        char out[2 * kSample];
        for (const qsizetype at : {qsizetype{0}, input.size() / 2, input.size() - kSample}) {
            deflateReset(&stream);
            // The window before the sample: within the block, or the end of the
            // dictionary joined to the block's start.
            const QByteArray joined = at < kWindow ? (block.dictionary + input.left(at)).right(kWindow) : QByteArray();
            const QByteArrayView before =
                at < kWindow ? QByteArrayView(joined) : QByteArrayView(input).sliced(at - kWindow, kWindow);
            if (!before.isEmpty())
                deflateSetDictionary(&stream, reinterpret_cast<const Bytef*>(before.data()),
                                     static_cast<uInt>(before.size()));
            stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.constData() + at));
            stream.avail_in = static_cast<uInt>(kSample);
            stream.next_out = reinterpret_cast<Bytef*>(out);
            stream.avail_out = static_cast<uInt>(sizeof out);
            deflate(&stream, Z_FINISH);
            const qsizetype packed = static_cast<qsizetype>(sizeof out) - static_cast<qsizetype>(stream.avail_out);
            if (packed < kSample - kSample / 64)
                return false;
        }
        return true;
    }

    z_stream m_block{};
    z_stream m_sample{};
    bool m_ready = false;
};

} // namespace

struct TParallelDeflater::TState {
    std::mutex lock;
    std::condition_variable work;
    std::condition_variable finished;
    std::deque<std::shared_ptr<TBlock>> queue;   // waiting for a worker
    std::deque<std::shared_ptr<TBlock>> inOrder; // every block not yet handed on
    std::vector<std::shared_ptr<TBlock>> spare;  // handed on, their buffers kept for the next
    std::vector<std::thread> workers;
    bool closing = false;
    qsizetype mostInFlight = 0;
    std::shared_ptr<TBlock> filling = NewBlock();
    QByteArray window; // the last 32 KiB of input handed to a block
    bool headerSent = false;
    uLong adler = 1;

    void Work()
    {
        TWorkerStreams streams;
        std::unique_lock guard(lock);
        while (true) {
            work.wait(guard, [&] { return closing || !queue.empty(); });
            if (queue.empty())
                return;
            std::shared_ptr<TBlock> block = queue.front();
            queue.pop_front();
            guard.unlock();
            streams.Deflate(*block);
            guard.lock();
            block->done = true;
            finished.notify_all();
        }
    }

    // A block to fill, with the buffers of one handed on before when there is one.
    std::shared_ptr<TBlock> NewBlock()
    {
        if (spare.empty()) {
            auto block = std::make_shared<TBlock>();
            block->input.reserve(kBlock);
            return block;
        }
        std::shared_ptr<TBlock> block = std::move(spare.back());
        spare.pop_back();
        block->input.resize(0);
        block->output.resize(0);
        block->last = block->done = block->failed = false;
        return block;
    }

    void Submit(bool last)
    {
        std::shared_ptr<TBlock> block = std::exchange(filling, nullptr);
        block->dictionary = window;
        block->last = last;
        const qsizetype keep = std::min(kWindow, block->input.size());
        window = (window + block->input.right(keep)).right(kWindow);
        {
            std::lock_guard guard(lock);
            queue.push_back(block);
            inOrder.push_back(block);
            work.notify_one();
        }
        filling = NewBlock();
    }

    // Hands on the finished blocks at the front, waiting for the oldest while
    // more than `leave` blocks are in flight.
    bool HandOn(const TZlibSink& sink, qsizetype leave)
    {
        while (true) {
            std::shared_ptr<TBlock> front;
            {
                std::unique_lock guard(lock);
                if (inOrder.empty())
                    return true;
                if (!inOrder.front()->done) {
                    if (static_cast<qsizetype>(inOrder.size()) <= leave)
                        return true;
                    finished.wait(guard, [&] { return inOrder.front()->done; });
                }
                front = inOrder.front();
                inOrder.pop_front();
            }
            if (front->failed)
                return false;
            if (!headerSent) {
                headerSent = true;
                if (!sink("\x78\xda", 2)) // level 9, 32 KiB window
                    return false;
            }
            adler = adler32_combine(adler, front->adler, static_cast<z_off_t>(front->input.size()));
            for (qsizetype at = 0; at < front->output.size(); at += kPiece)
                if (!sink(front->output.constData() + at, std::min(kPiece, front->output.size() - at)))
                    return false;
            spare.push_back(std::move(front));
        }
    }
};

TParallelDeflater::TParallelDeflater(int threads) : m_state(std::make_unique<TState>())
{
    const int count = threads > 0 ? threads : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    m_state->mostInFlight = 2 * count;
    for (int i = 0; i < count; ++i)
        m_state->workers.emplace_back([state = m_state.get()] { state->Work(); });
}

TParallelDeflater::~TParallelDeflater()
{
    {
        std::lock_guard guard(m_state->lock);
        m_state->queue.clear();
        m_state->closing = true;
        m_state->work.notify_all();
    }
    for (std::thread& worker : m_state->workers)
        worker.join();
}

bool TParallelDeflater::Feed(const char* data, qsizetype size, const TZlibSink& sink)
{
    TState& state = *m_state;
    while (size > 0) {
        QByteArray& input = state.filling->input;
        const qsizetype take = std::min(size, kBlock - input.size());
        input.append(data, take);
        data += take;
        size -= take;
        if (input.size() < kBlock)
            continue;
        state.Submit(false);
        if (!state.HandOn(sink, state.mostInFlight))
            return false;
    }
    return true;
}

bool TParallelDeflater::Finish(const TZlibSink& sink)
{
    TState& state = *m_state;
    // The last block may be empty: it still ends the stream.
    state.Submit(true);
    if (!state.HandOn(sink, 0))
        return false;
    const uLong adler = state.adler;
    const char trailer[4] = {static_cast<char>(adler >> 24), static_cast<char>(adler >> 16),
                             static_cast<char>(adler >> 8), static_cast<char>(adler)};
    return sink(trailer, 4);
}
