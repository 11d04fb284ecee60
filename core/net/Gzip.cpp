#include "net/Gzip.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <zlib.h>

namespace mintlux {

namespace {
// zlib's window bits plus 16: a gzip wrapper instead of zlib's own.
constexpr int kGzipWindow = 15 + 16;
constexpr qsizetype kStep = 64 * 1024;

uInt chunkSize(qsizetype n) {
    return static_cast<uInt>(std::min<qsizetype>(n, std::numeric_limits<uInt>::max()));
}
}  // namespace

QByteArray Gzip::compress(QByteArrayView data, int level) {
    z_stream s{};
    if (deflateInit2(&s, level, Z_DEFLATED, kGzipWindow, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::bad_alloc();
    }
    QByteArray out(static_cast<qsizetype>(deflateBound(&s, static_cast<uLong>(data.size()))),
                   Qt::Uninitialized);
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    s.avail_in = chunkSize(data.size());
    s.next_out = reinterpret_cast<Bytef*>(out.data());
    s.avail_out = chunkSize(out.size());
    const int rc = deflate(&s, Z_FINISH);
    out.truncate(static_cast<qsizetype>(s.total_out));
    deflateEnd(&s);
    if (rc != Z_STREAM_END) {
        throw std::runtime_error("gzip: compression did not finish");
    }
    return out;
}

GzipDecoder::GzipDecoder(qint64 maxDecodedBytes)
    : m_stream(new z_stream{}), m_max(maxDecodedBytes) {
    if (inflateInit2(m_stream, kGzipWindow) != Z_OK) {
        delete m_stream;
        throw std::bad_alloc();
    }
}

GzipDecoder::~GzipDecoder() {
    inflateEnd(m_stream);
    delete m_stream;
}

GzipDecoder::State GzipDecoder::feed(QByteArrayView input) {
    while (m_state == State::ok && !input.isEmpty()) {
        if (m_betweenMembers) {
            inflateReset(m_stream);
            m_betweenMembers = false;
        }
        m_started = true;
        // Never more room than the bound leaves, plus one byte to see it crossed.
        const qint64 room = m_max - m_output.size() + 1;
        const qsizetype step = static_cast<qsizetype>(std::min<qint64>(room, kStep));
        const qsizetype before = m_output.size();
        m_output.resize(before + step);
        m_stream->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
        m_stream->avail_in = chunkSize(input.size());
        m_stream->next_out = reinterpret_cast<Bytef*>(m_output.data() + before);
        m_stream->avail_out = static_cast<uInt>(step);
        const int rc = inflate(m_stream, Z_NO_FLUSH);
        const qsizetype used = input.size() - static_cast<qsizetype>(m_stream->avail_in);
        input = input.sliced(used);
        m_output.truncate(before + step - static_cast<qsizetype>(m_stream->avail_out));
        if (m_output.size() > m_max) {
            m_state = State::tooLarge;
        } else if (rc == Z_STREAM_END) {
            m_betweenMembers = true;
        } else if ((rc != Z_OK && rc != Z_BUF_ERROR) || (used == 0 && m_output.size() == before)) {
            m_state = State::corrupt;
        }
    }
    return m_state;
}

GzipDecoder::State GzipDecoder::finish() {
    if (m_state == State::ok && m_started && !m_betweenMembers) {
        m_state = State::corrupt;
    }
    return m_state;
}

}  // namespace mintlux
