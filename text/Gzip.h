#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace tarvelo {

// gzip (RFC 1952) through zlib, for HTTP bodies: compressed a piece at a time into a buffer of
// the caller's, or inflated a piece at a time as they arrive, never past a limit.

// Compresses one stream. Memory: zlib's state (about 256 KiB), whatever the text's size.
class GzipDeflater {
public:
    // `level`: 1 (fastest) to 9 (smallest).
    explicit GzipDeflater(int level);
    ~GzipDeflater();
    GzipDeflater(const GzipDeflater&) = delete;
    GzipDeflater& operator=(const GzipDeflater&) = delete;

    // Compresses from the front of `input` (taking what it consumed off it) into out[0, room);
    // `last`: nothing follows `input`, so the stream is ended once it is consumed. Returns the
    // bytes written: while `last` holds, 0 only once the whole stream has been written.
    std::size_t deflate(std::string_view& input, bool last, char* out, std::size_t room);
    bool finished() const { return m_finished; }

private:
    struct State;
    std::unique_ptr<State> m_state;
    bool m_finished = false;
};

// The whole gzip stream of `text`.
std::string gzip(std::string_view text, int level = 6);

// Inflates one gzip stream (members written one after another count as one) as its pieces
// arrive, appending to a text of the caller's that is never let grow past `limit` bytes.
class GzipInflater {
public:
    enum class State {
        More,      // all well so far; the stream has not ended
        Done,      // the stream ended (more members may follow)
        TooLarge,  // it inflates past the limit: inflating stopped there
        Corrupt,   // not gzip, damaged, or cut short (at finish()): problem() says what
    };

    explicit GzipInflater(std::size_t limit);
    ~GzipInflater();
    GzipInflater(const GzipInflater&) = delete;
    GzipInflater& operator=(const GzipInflater&) = delete;

    // Inflates `piece` onto the end of `out`. Once TooLarge or Corrupt, nothing more is done and
    // the same state is returned; `out` then holds a part only.
    State inflate(std::string_view piece, std::string& out);
    // At the end of the input: Done, or Corrupt when the stream was cut short.
    State finish();
    State state() const { return m_state; }
    // zlib's words for a corrupt stream ("incorrect header check"), or why it was cut short.
    const std::string& problem() const { return m_problem; }

private:
    struct Stream;
    std::unique_ptr<Stream> m_stream;
    std::size_t m_limit;
    std::size_t m_produced = 0;
    bool m_inMember = false;  // a member has begun and not ended
    State m_state = State::More;
    std::string m_problem;
};

}  // namespace tarvelo
