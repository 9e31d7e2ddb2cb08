#include "data/PacketStream.h"

#include <pugixml.hpp>

#include "data/PacketRowReader.h"
#include "text/Error.h"

namespace tarvelo {

namespace {

constexpr std::string_view kOpen = "<ROWDATA>", kClose = "</ROWDATA>";
constexpr std::size_t kQuoted = 512;  // the first bytes messages quote from

}  // namespace

PacketStream::PacketStream(std::size_t chunkBytes) : m_chunkBytes(chunkBytes) {
    m_start.reserve(kQuoted);
}

std::optional<std::string_view> PacketStream::wholeText() const {
    if (m_mode == Mode::Rows) return std::nullopt;
    return m_buffer;
}

void PacketStream::feed(std::string_view piece) noexcept {
    if (m_fault || m_ended) return;
    try {
        if (m_start.size() < kQuoted) m_start.append(piece.substr(0, kQuoted - m_start.size()));
        // The parser takes a NUL byte for the end of its buffer, and so the whole text's reading
        // ends there: so does this one. Before the rows are reached, such a text is kept whole
        // (a chunk would end quietly at the NUL where the whole document ends with an error).
        const std::size_t nul = piece.find('\0');
        if (m_mode == Mode::Rows) {
            if (nul != std::string_view::npos) {
                piece = piece.substr(0, nul);
                m_ended = true;
            }
            feedRows(piece);
            return;
        }
        if (m_mode == Mode::Whole || nul != std::string_view::npos) {
            m_mode = Mode::Whole;
            m_buffer.append(piece);
            return;
        }
        // Usually the whole header comes in the first piece; only it is copied, and only the text
        // after "<ROWDATA>" goes on as rows. The tag may begin in what came before.
        const std::size_t kept = m_buffer.size();
        std::string after;
        std::string_view rows;
        if (kept == 0) {
            const std::size_t open = piece.find(kOpen);
            if (open == std::string_view::npos) {
                m_buffer.append(piece);
                return;
            }
            m_buffer.append(piece.substr(0, open + kOpen.size()));
            rows = piece.substr(open + kOpen.size());
        } else {
            m_buffer.append(piece);
            const std::size_t open =
                m_buffer.find(kOpen, kept >= kOpen.size() ? kept - kOpen.size() + 1 : 0);
            if (open == std::string::npos) return;
            after = m_buffer.substr(open + kOpen.size());
            m_buffer.resize(open + kOpen.size());
            rows = after;
        }
        if (startRows(m_buffer.size() - kOpen.size())) {
            feedRows(rows);
        } else {
            m_buffer.append(rows);
        }
    } catch (...) {
        m_fault = std::current_exception();
        m_buffer = std::string();
    }
}

bool PacketStream::startRows(std::size_t open) {
    // The header is read ahead of the document's end, which is taken to close the packet as the
    // writer does; at the end the header is read again with the end that actually came.
    m_head = m_buffer.substr(0, open);
    std::string header = m_head + "<ROWDATA/></DATAPACKET>";
    pugi::xml_document doc;
    m_mode = Mode::Whole;
    if (!doc.load_buffer_inplace(header.data(), header.size(), packetxml::kParseFlags,
                                 pugi::encoding_utf8))
        return false;
    try {
        const auto rowdata = packetxml::readHeader(doc, m_start, m_packet);
        // The empty ROWDATA put in must be the one the packet's rows belong to.
        if (!rowdata || rowdata.first_child() ||
            rowdata.offset_debug() != static_cast<std::ptrdiff_t>(open + 1)) {
            m_packet = DataPacket();
            return false;
        }
    } catch (const Error&) {
        m_packet = DataPacket();
        return false;
    }
    m_mode = Mode::Rows;
    m_consumed = open + kOpen.size();
    m_buffer = std::string();
    return true;
}

void PacketStream::feedRows(std::string_view piece) {
    if (m_buffer.empty()) {
        // Whole chunks are read straight from the piece; only what is left is kept.
        readChunks(piece);
        m_buffer.assign(piece);
        return;
    }
    m_buffer.append(piece);
    std::string_view rest = m_buffer;
    readChunks(rest);
    m_buffer.erase(0, m_buffer.size() - rest.size());
}

void PacketStream::readChunks(std::string_view& text) {
    std::string part;
    while (m_cutting && text.size() > m_chunkBytes) {
        const std::size_t cut = text.find("<ROW", std::max(m_chunkBytes, m_scanned));
        if (cut == std::string_view::npos) {
            m_scanned = text.size() - 3;
            return;
        }
        const std::string_view chunk = text.substr(0, cut);
        // The rows end somewhere in here: the rest is read with the document's end.
        if (chunk.find("</ROWDATA") != std::string_view::npos) {
            m_cutting = false;
            return;
        }
        // Each chunk is parsed inside a ROWDATA of its own, so that a tag cut off or closed at its
        // edge fails as it would in the whole document; such a chunk is read with the rest.
        part.assign(kOpen).append(chunk).append(kClose);
        pugi::xml_document doc;
        if (!doc.load_buffer_inplace(part.data(), part.size(), packetxml::kParseFlags,
                                     pugi::encoding_utf8) ||
            doc.first_child() != doc.last_child()) {
            m_cutting = false;
            return;
        }
        PacketRowReader(m_packet, m_start).read(doc.first_child());
        text.remove_prefix(cut);
        m_consumed += cut;
        m_scanned = 0;
    }
}

DataPacket PacketStream::finish() {
    if (m_fault) std::rethrow_exception(m_fault);
    if (m_mode != Mode::Rows) return DataPacket::parse(m_buffer, 0);
    // What is left is read in the document it belongs to, with the rows already read left out:
    // the header, "<ROWDATA>", then the rest as it came.
    std::string rest;
    rest.reserve(m_head.size() + kOpen.size() + m_buffer.size());
    rest.append(m_head).append(kOpen).append(m_buffer);
    m_buffer = std::string();
    pugi::xml_document doc;
    const auto result = doc.load_buffer_inplace(rest.data(), rest.size(), packetxml::kParseFlags,
                                                pugi::encoding_utf8);
    const std::size_t restStart = m_head.size() + kOpen.size();
    if (!result) {
        // An offset past the header is one in the rest: it lies that much further in the text.
        const std::ptrdiff_t shift =
            result.offset >= static_cast<std::ptrdiff_t>(restStart)
                ? static_cast<std::ptrdiff_t>(m_consumed) - static_cast<std::ptrdiff_t>(restStart)
                : 0;
        packetxml::notAPacket(m_start, packetxml::xmlError(result, shift));
    }
    DataPacket check;
    const auto rowdata = packetxml::readHeader(doc, m_start, check);
    if (rowdata.offset_debug() != static_cast<std::ptrdiff_t>(m_head.size() + 1))
        packetxml::notAPacket(m_start, "ROWDATA 不是 DATAPACKET 中的第一个");
    PacketRowReader(m_packet, m_start).read(rowdata);
    return std::move(m_packet);
}

}  // namespace tarvelo
