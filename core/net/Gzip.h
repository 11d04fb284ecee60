#pragma once

#include <QByteArray>
#include <QByteArrayView>

struct z_stream_s;

namespace mintlux {

// gzip (RFC 1952), as HTTP's Content-Encoding carries it.
namespace Gzip {

// The whole of `data` as one gzip member.
QByteArray compress(QByteArrayView data, int level = 6);

}  // namespace Gzip

// Inflates a gzip body as it arrives, never holding more than a bound of decoded bytes: input
// that would decode past it is refused there, not decoded first and measured afterwards.
class GzipDecoder {
public:
    enum class State { ok, tooLarge, corrupt };

    explicit GzipDecoder(qint64 maxDecodedBytes);
    ~GzipDecoder();
    GzipDecoder(const GzipDecoder&) = delete;
    GzipDecoder& operator=(const GzipDecoder&) = delete;

    // Decodes `input` onto output(). Once not `ok`, further input is ignored. Several members
    // in a row are one body, as in a file made by concatenation.
    State feed(QByteArrayView input);
    // After the last input: `corrupt` when it ended inside a member. No input at all is an
    // empty body.
    State finish();
    QByteArray& output() { return m_output; }

private:
    z_stream_s* m_stream;
    qint64 m_max;
    QByteArray m_output;
    State m_state = State::ok;
    bool m_started = false;
    bool m_betweenMembers = false;
};

}  // namespace mintlux
