#pragma once

#include <cstddef>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "data/DataPacket.h"

namespace tarvelo {

// A data packet read piece by piece as it arrives, so that an answer of tens of megabytes is
// never held as text beside the rows made of it: what has been turned into rows is let go. The
// result is the packet DataPacket::parse gives for the whole text.
//
// Rows are read a chunk of about `chunkBytes` at a time, each chunk cut where a "<ROW" begins, as
// in DataPacket::parse; the header (everything before "<ROWDATA>") is kept to check the end of
// the document against. Text of an unusual shape (no "<ROWDATA>", a header this cannot read
// ahead) is kept whole and parsed whole at the end, and so is everything after a chunk that does
// not parse on its own (its cut lay inside a comment, say): the result is then the same, only
// the memory is not saved. Text that is no packet at all is therefore always kept whole.
class PacketStream {
public:
    explicit PacketStream(std::size_t chunkBytes = DataPacket::kChunkBytes);
    PacketStream(const PacketStream&) = delete;
    PacketStream& operator=(const PacketStream&) = delete;

    // Never throws: a fault met on the way is kept and raised by finish(), and what follows it is
    // ignored.
    void feed(std::string_view piece) noexcept;
    // The packet; throws tarvelo::Error as DataPacket::parse does for text that is no packet. On
    // a packet that is faulty in more than one place, the fault named is the first one met,
    // which may not be the one a reading of the whole text would name.
    DataPacket finish();

    // The whole text so far, while none of it has been let go (also after finish()).
    std::optional<std::string_view> wholeText() const;

private:
    enum class Mode { Header, Rows, Whole };
    // Reads the header ending at `open`; false (and the text is kept whole) when it cannot.
    bool startRows(std::size_t open);
    void feedRows(std::string_view piece);
    // Reads whole chunks from the front of `text`, moving its start past them.
    void readChunks(std::string_view& text);

    std::size_t m_chunkBytes;
    Mode m_mode = Mode::Header;
    std::string m_buffer;        // Header, Whole: the text so far; Rows: what is not read yet
    std::string m_head;          // Rows: the text before "<ROWDATA>"
    std::string m_start;         // the text's first bytes, for messages
    std::size_t m_consumed = 0;  // Rows: bytes of the text before m_buffer
    std::size_t m_scanned = 0;   // Rows: no cut lies in m_buffer before this
    bool m_cutting = true;       // Rows: false once the rest is to be read as one piece
    bool m_ended = false;        // Rows: a NUL byte ended the text
    DataPacket m_packet;
    std::exception_ptr m_fault;
};

}  // namespace tarvelo
