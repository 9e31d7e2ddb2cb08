#include "text/Gzip.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <new>

namespace tarvelo {

namespace {

// zlib's windowBits for a gzip wrapper around the largest window.
constexpr int kGzipWindow = 16 + MAX_WBITS;
// zlib counts bytes in uInt: longer texts go to it in slices.
constexpr std::size_t kSlice = UINT_MAX;

Bytef* bytes(const char* p) {
    return reinterpret_cast<Bytef*>(const_cast<char*>(p));
}

}  // namespace

struct GzipDeflater::State {
    z_stream z{};
};

GzipDeflater::GzipDeflater(int level) : m_state(std::make_unique<State>()) {
    if (deflateInit2(&m_state->z, std::clamp(level, 1, 9), Z_DEFLATED, kGzipWindow, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::bad_alloc();
}

GzipDeflater::~GzipDeflater() {
    deflateEnd(&m_state->z);
}

std::size_t GzipDeflater::deflate(std::string_view& input, bool last, char* out, std::size_t room) {
    z_stream& z = m_state->z;
    room = std::min(room, kSlice);
    if (room == 0) return 0;
    z.next_out = reinterpret_cast<Bytef*>(out);
    z.avail_out = static_cast<uInt>(room);
    // Until something is written (or the stream ends): zlib may take input without writing.
    while (!m_finished && z.avail_out == room) {
        const std::size_t given = std::min(input.size(), kSlice);
        z.next_in = bytes(input.data());
        z.avail_in = static_cast<uInt>(given);
        const int flush = last && given == input.size() ? Z_FINISH : Z_NO_FLUSH;
        const int rc = ::deflate(&z, flush);
        input.remove_prefix(given - z.avail_in);
        if (rc == Z_STREAM_END)
            m_finished = true;
        else if (rc != Z_OK && rc != Z_BUF_ERROR)
            throw std::bad_alloc();
        if (flush == Z_NO_FLUSH && input.empty()) break;  // the caller has more to give
    }
    return room - z.avail_out;
}

std::string gzip(std::string_view text, int level) {
    GzipDeflater deflater(level);
    std::string out;
    out.reserve(text.size() / 4 + 64);
    char buffer[64 << 10];
    while (!deflater.finished())
        out.append(buffer, deflater.deflate(text, true, buffer, sizeof buffer));
    return out;
}

struct GzipInflater::Stream {
    z_stream z{};
};

GzipInflater::GzipInflater(std::size_t limit)
    : m_stream(std::make_unique<Stream>()), m_limit(limit) {
    if (inflateInit2(&m_stream->z, kGzipWindow) != Z_OK) throw std::bad_alloc();
}

GzipInflater::~GzipInflater() {
    inflateEnd(&m_stream->z);
}

GzipInflater::State GzipInflater::inflate(std::string_view piece, std::string& out) {
    z_stream& z = m_stream->z;
    char buffer[32 << 10];
    while (m_state == State::More || m_state == State::Done) {
        if (piece.empty() && (z.avail_out != 0 || !m_inMember)) break;
        if (m_state == State::Done) {
            // Another member follows the one that ended.
            inflateReset(&z);
            m_state = State::More;
        }
        const std::size_t given = std::min(piece.size(), kSlice);
        z.next_in = bytes(piece.data());
        z.avail_in = static_cast<uInt>(given);
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        const int rc = ::inflate(&z, Z_NO_FLUSH);
        piece.remove_prefix(given - z.avail_in);
        m_inMember = true;
        const std::size_t n = sizeof buffer - z.avail_out;
        if (n > m_limit - m_produced) {
            m_state = State::TooLarge;
            break;
        }
        out.append(buffer, n);
        m_produced += n;
        if (rc == Z_STREAM_END) {
            m_inMember = false;
            m_state = State::Done;
        } else if (rc == Z_MEM_ERROR) {
            throw std::bad_alloc();
        } else if (rc == Z_BUF_ERROR) {
            if (piece.empty()) z.avail_out = 1;  // waits for more input, nothing held back
        } else if (rc != Z_OK) {
            m_state = State::Corrupt;
            m_problem = z.msg ? z.msg : "inflate error " + std::to_string(rc);
        }
    }
    return m_state;
}

GzipInflater::State GzipInflater::finish() {
    if (m_state == State::More) {
        m_state = State::Corrupt;
        m_problem = m_inMember ? "unexpected end of gzip stream" : "empty gzip stream";
    }
    return m_state;
}

}  // namespace tarvelo
