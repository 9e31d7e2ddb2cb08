#include "workbook/XlsReader.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <span>

#include "text/Error.h"
#include "workbook/CellError.h"
#include "workbook/CellText.h"
#include "workbook/CompoundFile.h"
#include "workbook/CompoundStream.h"

namespace tarvelo {

namespace {

std::uint16_t u16(std::string_view b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      static_cast<unsigned char>(b[at + 1]) << 8);
}
std::uint32_t u32(std::string_view b, std::size_t at) {
    return u16(b, at) | static_cast<std::uint32_t>(u16(b, at + 2)) << 16;
}
double f64(std::string_view b, std::size_t at) {
    double v;
    std::memcpy(&v, b.data() + at, 8);
    return v;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

struct Damaged {
    std::string what;
};

// The body of a record and of the CONTINUE records after it, read as one: strings whose
// characters run into the next part start that part with a new option byte. The parts must
// outlive the reader.
class Parts {
public:
    // Reads from `pos` of part `part` on.
    explicit Parts(std::span<const std::string_view> parts, std::size_t part = 0,
                   std::size_t pos = 0)
        : m_parts(parts), m_part(part), m_pos(pos) {}

    std::uint8_t u8() {
        need(1);
        return static_cast<std::uint8_t>(m_parts[m_part][m_pos++]);
    }
    std::uint16_t u16le() {
        const std::uint8_t a = u8();
        return static_cast<std::uint16_t>(a | u8() << 8);
    }
    std::uint32_t u32le() {
        const std::uint32_t a = u16le();
        return a | static_cast<std::uint32_t>(u16le()) << 16;
    }
    void skip(std::size_t n) {
        while (n > 0) {
            need(1);
            const std::size_t take = std::min(n, m_parts[m_part].size() - m_pos);
            m_pos += take;
            n -= take;
        }
    }
    // An XLUnicodeRichExtendedString (or, without rich and extended parts, an XLUnicodeString).
    std::string string(bool longCount = true) {
        const std::size_t count = longCount ? u16le() : u8();
        const std::uint8_t flags = u8();
        bool wide = flags & 0x01;
        const std::size_t runs = (flags & 0x08) ? u16le() : 0;
        const std::size_t ext = (flags & 0x04) ? u32le() : 0;
        std::string out;
        out.reserve(count);
        std::size_t left = count;
        while (left > 0) {
            if (m_pos == m_parts[m_part].size()) {
                // The characters go on in the next CONTINUE, with their own option byte.
                if (m_part + 1 >= m_parts.size()) throw Damaged{"字符串超出记录"};
                ++m_part;
                m_pos = 0;
                wide = u8() & 0x01;
                continue;
            }
            if (!wide) {
                // One-byte characters below 0x80 are their own UTF-8: copied as a run.
                const std::string_view part = m_parts[m_part];
                const std::size_t end = m_pos + std::min(left, part.size() - m_pos);
                std::size_t ascii = m_pos;
                while (ascii < end && static_cast<unsigned char>(part[ascii]) < 0x80)
                    ++ascii;
                if (ascii > m_pos) {
                    out.append(part.substr(m_pos, ascii - m_pos));
                    left -= ascii - m_pos;
                    m_pos = ascii;
                    continue;
                }
            }
            if (wide) {
                char32_t c = u16le();
                if (c >= 0xD800 && c <= 0xDBFF && left > 1) {
                    const char32_t low = u16le();
                    --left;
                    c = low >= 0xDC00 && low <= 0xDFFF
                            ? 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00)
                            : 0xFFFD;
                } else if (c >= 0xD800 && c <= 0xDFFF) {
                    c = 0xFFFD;  // half of a pair: no character
                }
                appendUtf8(out, c);
            } else {
                appendUtf8(out, u8());
            }
            --left;
        }
        skip(4 * runs + ext);
        return out;
    }
    // Steps over what string() would read, over the same bytes and with the same errors, without
    // decoding it: characters are stepped over a part at a time.
    void skipString() {
        // Most strings lie whole in their part, without formatting runs or extended data.
        const std::string_view here = m_parts[m_part];
        if (m_pos + 3 <= here.size() && (here[m_pos + 2] & 0x0C) == 0) {
            const std::size_t bytes = std::size_t{u16(here, m_pos)} << (here[m_pos + 2] & 0x01);
            if (bytes <= here.size() - m_pos - 3) {
                m_pos += 3 + bytes;
                return;
            }
        }
        const std::size_t count = u16le();
        const std::uint8_t flags = u8();
        bool wide = flags & 0x01;
        const std::size_t runs = (flags & 0x08) ? u16le() : 0;
        const std::size_t ext = (flags & 0x04) ? u32le() : 0;
        std::size_t left = count;
        while (left > 0) {
            const std::string_view part = m_parts[m_part];
            if (m_pos == part.size()) {
                if (m_part + 1 >= m_parts.size()) throw Damaged{"字符串超出记录"};
                ++m_part;
                m_pos = 0;
                wide = u8() & 0x01;
                continue;
            }
            if (!wide) {
                const std::size_t take = std::min(left, part.size() - m_pos);
                m_pos += take;
                left -= take;
                continue;
            }
            std::size_t units = (part.size() - m_pos) / 2;  // whole ones left in this part
            if (units == 0) {  // a character with one byte here and one in the next part
                skipWideCharacter(left);
                continue;
            }
            if (units >= left) {  // the rest of the string is here: no pair reaches past it
                m_pos += 2 * left;
                left = 0;
                continue;
            }
            // A surrogate pair begun in the part's last unit takes its low half from the next
            // part's first bytes, as string() reads it. The last unit begins one when it ends an
            // odd run of high halves: the run starts a character, whatever came before it.
            std::size_t highs = 0;
            while (highs < units && isHighHalf(u16(part, m_pos + 2 * (units - 1 - highs))))
                ++highs;
            if (highs % 2 == 1) --units;
            m_pos += 2 * units;
            left -= units;
            if (highs % 2 == 1) skipWideCharacter(left);
        }
        skip(4 * runs + ext);
    }
    std::size_t part() const { return m_part; }
    std::size_t pos() const { return m_pos; }
    bool atEnd() const { return m_part + 1 >= m_parts.size() && m_pos >= m_parts.back().size(); }

private:
    static bool isHighHalf(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
    // One two-byte character as string() reads it: a high half takes the next unit with it.
    void skipWideCharacter(std::size_t& left) {
        const char32_t c = u16le();
        if (isHighHalf(c) && left > 1) {
            u16le();
            --left;
        }
        --left;
    }
    void need(std::size_t) {
        while (m_pos >= m_parts[m_part].size()) {
            if (m_part + 1 >= m_parts.size()) throw Damaged{"记录比它声明的短"};
            ++m_part;
            m_pos = 0;
        }
    }
    std::span<const std::string_view> m_parts;
    std::size_t m_part = 0;
    std::size_t m_pos = 0;
};

struct Record {
    std::uint16_t type;
    std::string_view body;
    std::uint64_t offset;  // of the record in the stream
};

constexpr std::size_t kWindow = 64u << 10;  // how much of a stream is read at a time

bool isCell(std::uint16_t type) {
    switch (type) {
        case 0x00FD:  // LABELSST
        case 0x00D6:  // RSTRING
        case 0x0204:  // LABEL
        case 0x0203:  // NUMBER
        case 0x027E:  // RK
        case 0x00BD:  // MULRK
        case 0x0205:  // BOOLERR
        case 0x0006:  // FORMULA
            return true;
        default:
            return false;
    }
}

std::string errorText(std::uint8_t code) {
    switch (code) {
        case 0x00:
            return "#NULL!";
        case 0x07:
            return "#DIV/0!";
        case 0x0F:
            return "#VALUE!";
        case 0x17:
            return "#REF!";
        case 0x1D:
            return "#NAME?";
        case 0x24:
            return "#NUM!";
        case 0x2A:
            return "#N/A";
        default:
            return "#N/A";
    }
}

double rkValue(std::uint32_t rk) {
    double v;
    if (rk & 0x02) {
        v = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
    } else {
        const std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFC) << 32;
        std::memcpy(&v, &bits, 8);
    }
    return (rk & 0x01) ? v / 100 : v;
}

// Steps over the records of `bytes` from `at` on, noting the row of each cell, until one that is
// neither a cell nor passed over by the survey (BOF, EOF, MERGECELLS) or whose header and row do
// not lie whole in `bytes`; returns where that one starts, which may be past the end of `bytes`.
// The survey's inner loop, kept to registers: it runs once for each record of a long sheet.
std::size_t stepOverCells(std::string_view bytes, std::size_t at, int& lastRow, bool& inRowOrder) {
    // A little-endian word in one load.
    const auto word = [](const char* p) {
        std::uint16_t v;
        std::memcpy(&v, p, 2);
        if constexpr (std::endian::native == std::endian::big)
            v = static_cast<std::uint16_t>(v >> 8 | v << 8);
        return v;
    };
    int last = lastRow;
    bool inOrder = inRowOrder;
    while (at + 6 <= bytes.size()) {
        const char* const h = bytes.data() + at;
        const std::uint16_t type = word(h);
        const std::size_t length = word(h + 2);
        if (isCell(type)) {
            if (length >= 2) {
                const int row = word(h + 4);
                inOrder &= row >= last;
                last = std::max(last, row);
            }
        } else if (type == 0x0809 || type == 0x000A || type == 0x00E5) {
            break;
        }
        // The lengths cells mostly have are stepped over by branches the processor predicts,
        // so that it reads on without waiting for this length to load: that wait, record after
        // record, would be most of the survey's time.
        if (length == 10)  // LABELSST, RK
            at += 14;
        else if (length == 18)  // MULRK of two cells
            at += 22;
        else if (length == 14)  // NUMBER
            at += 18;
        else if (length == 16)  // ROW
            at += 20;
        else
            at += 4 + length;
    }
    lastRow = last;
    inRowOrder = inOrder;
    return at;
}

}  // namespace

// The records of a substream, read through a window of the stream that moves on with them.
struct XlsReader::Cursor {
    Cursor(const CompoundStream& s, std::uint64_t offset) : stream(s), at(offset) {}

    // The next record; its body stays valid until the next call.
    bool next(Record& r) {
        if (at - start >= kWindow) {  // let go of what was read
            window.erase(0, static_cast<std::size_t>(at - start));
            start = at;
        }
        if (!load(at, 4)) return false;
        r.type = u16(view(at, 4), 0);
        const std::size_t length = u16(view(at, 4), 2);
        if (!load(at, 4 + length)) throw Damaged{"记录超出流"};
        r.body = view(at + 4, length);
        r.offset = at;
        at += 4 + length;
        return true;
    }
    // The body of `r`, the record just read, and those of the CONTINUE records after it.
    std::vector<std::string_view> withContinues(Record& r) {
        std::vector<std::pair<std::uint64_t, std::size_t>> spans{{r.offset + 4, r.body.size()}};
        while (load(at, 4) && u16(view(at, 4), 0) == 0x003C) {
            const std::size_t length = u16(view(at, 4), 2);
            if (!load(at, 4 + length)) throw Damaged{"记录超出流"};
            spans.emplace_back(at + 4, length);
            at += 4 + length;
        }
        std::vector<std::string_view> parts;  // the window may have moved: views made last
        for (const auto& [offset, length] : spans)
            parts.push_back(view(offset, length));
        r.body = parts.front();
        return parts;
    }

    // Appends `r`, the record just read, and the CONTINUE records after it to `bytes` as they
    // are in the stream, read straight into memory of their size (their headers are read one
    // by one first); returns where in `bytes` each body starts, and its length.
    std::vector<std::pair<std::size_t, std::size_t>> readWithContinues(const Record& r,
                                                                       std::string& bytes) {
        std::vector<std::pair<std::size_t, std::size_t>> bodies{{r.offset + 4, r.body.size()}};
        char header[4];
        while (at + 4 <= stream.size()) {
            stream.read(at, 4, header);
            const std::string_view h(header, 4);
            if (u16(h, 0) != 0x003C) break;
            const std::size_t length = u16(h, 2);
            if (at + 4 + length > stream.size()) throw Damaged{"记录超出流"};
            bodies.emplace_back(at + 4, length);
            at += 4 + length;
        }
        const std::size_t had = bytes.size();
        bytes.resize(had + static_cast<std::size_t>(at - r.offset));
        stream.read(r.offset, static_cast<std::size_t>(at - r.offset), bytes.data() + had);
        for (auto& body : bodies)
            body.first = had + static_cast<std::size_t>(body.first - r.offset);
        window.clear();  // the next record is read afresh from `at`
        return bodies;
    }

    const CompoundStream& stream;
    std::uint64_t at;         // the next record
    std::string window;       // the stream from `start` on
    std::uint64_t start = 0;  // must not pass `at`
    // The cell of a formula whose text result follows in a STRING record.
    bool pending = false;
    std::size_t pendingRow = 0, pendingColumn = 0;
    // Embedded objects (a chart on the sheet) bring their own BOF ... EOF: skipped over.
    int depth = 0;

private:
    std::string_view view(std::uint64_t offset, std::size_t length) const {
        return std::string_view(window).substr(static_cast<std::size_t>(offset - start), length);
    }
    // Whether the stream has [offset, offset + length), which is then in the window.
    bool load(std::uint64_t offset, std::size_t length) {
        if (offset + length > stream.size()) return false;
        if (window.empty()) start = offset;
        const std::uint64_t end = start + window.size();
        if (offset + length <= end) return true;
        const std::size_t more = static_cast<std::size_t>(std::min<std::uint64_t>(
            std::max<std::uint64_t>(offset + length - end, kWindow), stream.size() - end));
        const std::size_t had = window.size();
        window.resize(had + more);
        stream.read(end, more, window.data() + had);
        return true;
    }
};

struct XlsReader::Globals {
    bool date1904 = false;
    std::map<int, bool> customDate;
    std::vector<int> xfFormats;
    // The shared strings, each decoded when a cell first asks for it: the SST records and their
    // CONTINUE records as they are in the stream, where in them each body starts, and for each
    // string where it starts (below kDecoded) or, once decoded, kDecoded + its index in sstTexts.
    static constexpr std::uint32_t kDecoded = 0x80000000;
    std::string sstBytes;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> sstBodies;  // (start, length) in sstBytes
    std::vector<std::string_view> sstParts;                          // those bodies
    std::vector<std::uint32_t> sst;
    std::vector<std::string> sstTexts;

    const std::string& sharedString(std::size_t i) {
        std::uint32_t& s = sst[i];
        if (s < kDecoded) {
            const std::size_t part = static_cast<std::size_t>(
                std::ranges::upper_bound(sstBodies, s, {},
                                         &std::pair<std::uint32_t, std::uint32_t>::first) -
                sstBodies.begin() - 1);
            Parts p(sstParts, part, s - sstBodies[part].first);
            sstTexts.push_back(p.string());
            s = kDecoded + static_cast<std::uint32_t>(sstTexts.size() - 1);
        }
        return sstTexts[s - kDecoded];
    }
    bool isDate(std::size_t xf) const {
        if (xf >= xfFormats.size()) return false;
        const int id = xfFormats[xf];
        const auto custom = customDate.find(id);
        return custom != customDate.end() ? custom->second : isBuiltInDateFormat(id);
    }
    std::string number(double v, std::size_t xf) const {
        return isDate(xf) ? dateText(v, date1904) : numberText(v);
    }
};

XlsReader::XlsReader(const std::string& path) : m_path(path) {
    m_file = std::make_unique<CompoundFile>(path);
    if (m_file->has(u"EncryptedPackage") || m_file->has(u"EncryptionInfo"))
        throw Error("工作簿“" + path + "”设置了打开密码（已加密），无法读取：请去掉密码后再导入。");
    auto workbook = m_file->stream(u"Workbook");
    if (!workbook) {
        if (m_file->has(u"Book"))
            throw Error("工作簿“" + path +
                        "”是早期版本的 Excel 格式（Excel 5.0/95），无法读取：请另存为 .xlsx。");
        throw Error("文件“" + path + "”是复合文档，但不是 Excel 工作簿。");
    }
    m_workbook = std::make_unique<CompoundStream>(std::move(*workbook));
    m_globals = std::make_unique<Globals>();
    try {
        std::size_t sheetOffset = 0;
        readGlobals(*m_globals, sheetOffset);
        surveySheet(sheetOffset);
    } catch (const Damaged& d) {
        throw Error("工作簿“" + path + "”已损坏，无法作为 .xls 读取。", d.what);
    }
}

XlsReader::~XlsReader() = default;

void XlsReader::readGlobals(Globals& g, std::size_t& sheetOffset) {
    Cursor globals(*m_workbook, 0);
    Record r;
    if (!globals.next(r) || r.type != 0x0809 || r.body.size() < 4)
        throw Damaged{"工作簿流不以 BOF 开始"};
    if (u16(r.body, 0) != 0x0600)
        throw Error("工作簿“" + m_path +
                    "”是早期版本的 Excel 格式（BIFF8 以前），无法读取：请另存为 .xlsx。");
    std::size_t activeTab = 0;
    struct Sheet {
        std::string name;
        std::size_t offset;  // of its BOF
        bool worksheet;
    };
    std::vector<Sheet> sheets;  // every sheet, as the active tab counts them
    while (globals.next(r) && r.type != 0x000A) {
        switch (r.type) {
            case 0x002F:
                throw Error("工作簿“" + m_path +
                            "”设置了打开密码（已加密），无法读取：请去掉密码后再导入。");
            case 0x0022:
                if (r.body.size() >= 2) g.date1904 = u16(r.body, 0) == 1;
                break;
            case 0x003D:
                if (r.body.size() >= 12) activeTab = u16(r.body, 10);
                break;
            case 0x0085: {
                if (r.body.size() < 8) throw Damaged{"BOUNDSHEET 太短"};
                const std::string_view body[] = {r.body.substr(6)};
                Parts p(body);
                const std::size_t offset = u32(r.body, 0);
                std::string name = p.string(false);
                sheets.push_back(
                    {std::move(name), offset, static_cast<unsigned char>(r.body[5]) == 0});
                break;
            }
            case 0x041E: {
                if (r.body.size() < 5) throw Damaged{"FORMAT 太短"};
                const std::string_view body[] = {r.body.substr(2)};
                Parts p(body);
                g.customDate[u16(r.body, 0)] = isDateFormat(p.string());
                break;
            }
            case 0x00E0:
                if (r.body.size() >= 4) g.xfFormats.push_back(u16(r.body, 2));
                break;
            case 0x00FC: {
                // Held as they are, and only stepped over here: a string is decoded when a cell
                // asks for it, so a long sheet read in part does not decode what it does not use.
                const std::size_t first = g.sstBodies.size();
                for (const auto& [start, length] : globals.readWithContinues(r, g.sstBytes))
                    g.sstBodies.emplace_back(start, length);
                if (g.sstBytes.size() >= Globals::kDecoded) throw Damaged{"共享字符串表过大"};
                g.sstParts.clear();  // made afresh: sstBytes may have moved
                for (const auto& [start, length] : g.sstBodies)
                    g.sstParts.push_back(std::string_view(g.sstBytes).substr(start, length));
                // Stepped over within this record's parts alone, so that a string running past
                // them is damage, as when it is read; found whole there, it decodes the same from
                // the list of all parts.
                Parts p(std::span(g.sstParts).subspan(first));
                p.skip(4);
                const std::uint32_t unique = p.u32le();
                if (unique > m_workbook->size()) throw Damaged{"共享字符串数目超出文件"};
                // Every string takes at least three bytes.
                g.sst.reserve(std::min<std::uint64_t>(unique, m_workbook->size() / 3));
                for (std::uint32_t i = 0; i < unique; ++i) {
                    g.sst.push_back(
                        static_cast<std::uint32_t>(g.sstBodies[first + p.part()].first + p.pos()));
                    p.skipString();
                }
                break;
            }
            default:
                break;
        }
    }
    if (sheets.empty()) throw Error("工作簿“" + m_path + "”中没有工作表。");
    if (activeTab >= sheets.size()) activeTab = 0;
    if (!sheets[activeTab].worksheet)
        throw Error("工作簿“" + m_path + "”保存时的活动工作表“" + sheets[activeTab].name +
                    "”是图表或宏表，没有单元格可读：请把价格所在的工作表设为活动工作表后保存。");
    m_sheetName = sheets[activeTab].name;
    sheetOffset = sheets[activeTab].offset;
}

void XlsReader::surveySheet(std::size_t sheetOffset) {
    // Only record headers are looked at (and the row of each cell), straight in blocks read
    // from the file, so this costs little more than reading the sheet's bytes.
    const CompoundStream& stream = *m_workbook;
    std::string block(256u << 10, '\0');  // holds any record whole
    std::uint64_t blockStart = 0;
    std::size_t blockLength = 0;
    // [offset, offset + length) of the stream in the block; nullptr past the stream's end.
    const auto bytes = [&](std::uint64_t offset, std::size_t length) -> const char* {
        if (offset + length > stream.size()) return nullptr;
        if (offset < blockStart || offset + length > blockStart + blockLength) {
            blockStart = offset;
            blockLength = static_cast<std::size_t>(
                std::min<std::uint64_t>(block.size(), stream.size() - offset));
            stream.read(blockStart, blockLength, block.data());
        }
        return block.data() + (offset - blockStart);
    };
    const auto word = [](const char* p) {
        return static_cast<std::uint16_t>(static_cast<unsigned char>(p[0]) |
                                          static_cast<unsigned char>(p[1]) << 8);
    };
    std::uint64_t at = sheetOffset;
    const char* header = bytes(at, 4);
    if (!header || word(header) != 0x0809) throw Damaged{"工作表不以 BOF 开始"};
    at += 4 + word(header + 2);
    if (at > stream.size()) throw Damaged{"记录超出流"};
    m_cursor = std::make_unique<Cursor>(stream, at);
    int depth = 0;
    int lastRow = -1;
    while (true) {
        if (depth == 0 && at >= blockStart && at < blockStart + blockLength) {
            const std::string_view held(block.data(), blockLength);
            at = blockStart + stepOverCells(held, static_cast<std::size_t>(at - blockStart),
                                            lastRow, m_inRowOrder);
            if (at > stream.size()) throw Damaged{"记录超出流"};
        }
        // A record's header and the row of a cell: six bytes, or what the stream has left.
        const char* h =
            at >= blockStart && at + 6 <= blockStart + blockLength
                ? block.data() + (at - blockStart)
                : bytes(at,
                        static_cast<std::size_t>(std::min<std::uint64_t>(6, stream.size() - at)));
        if (!h || at + 4 > stream.size()) break;
        const std::uint16_t type = word(h);
        const std::size_t length = word(h + 2);
        const std::uint64_t record = at;
        at += 4 + length;
        if (at > stream.size()) throw Damaged{"记录超出流"};
        if (depth == 0 && length >= 2 && isCell(type)) {
            const int row = word(h + 4);
            if (row < lastRow) m_inRowOrder = false;
            lastRow = std::max(lastRow, row);
        } else if (type == 0x0809) {
            ++depth;
        } else if (type == 0x000A) {
            if (depth == 0) break;
            --depth;
        } else if (depth == 0 && type == 0x00E5) {  // MERGECELLS
            if (length < 2) throw Damaged{"单元格记录太短"};
            const std::string_view b(bytes(record + 4, length), length);
            const std::size_t count = u16(b, 0);
            for (std::size_t i = 0; i < count && 2 + 8 * i + 8 <= b.size(); ++i) {
                const std::size_t c = 2 + 8 * i;
                m_merges.push_back({u16(b, c) + 1, u16(b, c + 4) + 1, u16(b, c + 2) + 1,
                                    u16(b, c + 6) + 1, record});
            }
        }
    }
    std::sort(m_merges.begin(), m_merges.end(),
              [](const Area& a, const Area& b) { return a.row0 < b.row0; });
    m_coverReach.clear();
    for (const Area& a : m_merges)
        m_coverReach.push_back(std::max(m_coverReach.empty() ? 0 : m_coverReach.back(), a.row1));
}

bool XlsReader::covered(int row, int col, std::uint64_t offset) const {
    // Areas sorted by first row; m_coverReach[i] is the last row any of the first i + 1 reach.
    auto i = std::upper_bound(m_merges.begin(), m_merges.end(), row,
                              [](int r, const Area& a) { return r < a.row0; }) -
             m_merges.begin();
    while (i-- > 0 && m_coverReach[static_cast<std::size_t>(i)] >= row) {
        const Area& a = m_merges[static_cast<std::size_t>(i)];
        if (a.offset > offset && row <= a.row1 && col >= a.col0 && col <= a.col1 &&
            (row != a.row0 || col != a.col0))
            return true;
    }
    return false;
}

void XlsReader::put(std::size_t row, std::size_t col, std::string text, std::uint64_t offset,
                    SheetCell::Kind kind) {
    if (text.empty() || col > 255 || row > 65535) return;
    const int r = static_cast<int>(row) + 1, c = static_cast<int>(col) + 1;
    m_lastColumn = std::max(m_lastColumn, c);
    // A merged area empties the cells read before its record.
    if (!m_merges.empty() && covered(r, c, offset)) return;
    if (m_rows.size() <= row) m_rows.resize(row + 1);
    auto& cells = m_rows[row];
    if (cells.empty() || cells.back().column < c) {
        cells.push_back({c, std::move(text), kind});
        return;
    }
    const auto at =
        std::lower_bound(cells.begin(), cells.end(), c,
                         [](const SheetCell& cell, int column) { return cell.column < column; });
    if (at != cells.end() && at->column == c)
        *at = {c, std::move(text), kind};
    else
        cells.insert(at, {c, std::move(text), kind});
}

void XlsReader::readRowsUntil(int row) {
    if (m_sheetDone || row <= m_rowsKnown) return;
    // Cells out of row order: the next one may belong anywhere.
    const int until = m_inRowOrder ? row : std::numeric_limits<int>::max();
    Cursor& sheet = *m_cursor;
    Globals& g = *m_globals;
    try {
        Record r;
        while (true) {
            if (!sheet.next(r)) {
                m_sheetDone = true;
                return;
            }
            if (r.type == 0x0809) {
                ++sheet.depth;
                continue;
            }
            if (r.type == 0x000A) {
                if (sheet.depth == 0) {
                    m_sheetDone = true;
                    return;
                }
                --sheet.depth;
                continue;
            }
            if (sheet.depth > 0) continue;
            const std::string_view b = r.body;
            if (isCell(r.type) && b.size() >= 2 && u16(b, 0) + 1 > until) {
                sheet.at = r.offset;  // read again next time
                m_rowsKnown = u16(b, 0);
                return;
            }
            const auto cellAt = [&](std::size_t size) {
                if (b.size() < size) throw Damaged{"单元格记录太短"};
            };
            const std::uint64_t offset = r.offset;
            switch (r.type) {
                case 0x00FD:  // LABELSST
                    cellAt(10);
                    if (u32(b, 6) >= g.sst.size()) throw Damaged{"引用了不存在的共享字符串"};
                    put(u16(b, 0), u16(b, 2), g.sharedString(u32(b, 6)), offset);
                    break;
                case 0x00D6:    // RSTRING: a label with formatting runs after it
                case 0x0204: {  // LABEL
                    cellAt(9);
                    std::vector<std::string_view> parts = sheet.withContinues(r);
                    parts.front() = parts.front().substr(6);
                    Parts p(parts);
                    put(u16(r.body, 0), u16(r.body, 2), p.string(), offset);
                    break;
                }
                case 0x0203:  // NUMBER
                    cellAt(14);
                    put(u16(b, 0), u16(b, 2), g.number(f64(b, 6), u16(b, 4)), offset);
                    break;
                case 0x027E:  // RK
                    cellAt(10);
                    put(u16(b, 0), u16(b, 2), g.number(rkValue(u32(b, 6)), u16(b, 4)), offset);
                    break;
                case 0x00BD: {  // MULRK
                    cellAt(6);
                    const std::size_t row = u16(b, 0);
                    std::size_t col = u16(b, 2);
                    for (std::size_t at = 4; at + 6 <= b.size() - 2; at += 6, ++col)
                        put(row, col, g.number(rkValue(u32(b, at + 2)), u16(b, at)), offset);
                    break;
                }
                case 0x0205:  // BOOLERR
                    cellAt(8);
                    if (b[7])
                        put(u16(b, 0), u16(b, 2), errorText(static_cast<std::uint8_t>(b[6])),
                            offset, SheetCell::Kind::Error);
                    else
                        put(u16(b, 0), u16(b, 2), b[6] ? "TRUE" : "FALSE", offset);
                    break;
                case 0x0006: {  // FORMULA: its cached result
                    cellAt(20);
                    const std::size_t row = u16(b, 0), col = u16(b, 2);
                    if (u16(b, 12) != 0xFFFF) {
                        put(row, col, g.number(f64(b, 6), u16(b, 4)), offset);
                        break;
                    }
                    switch (static_cast<unsigned char>(b[6])) {
                        case 0:  // the text is in the STRING record next
                            sheet.pending = true;
                            sheet.pendingRow = row;
                            sheet.pendingColumn = col;
                            break;
                        case 1:
                            put(row, col, b[8] ? "TRUE" : "FALSE", offset);
                            break;
                        case 2:
                            put(row, col, errorText(static_cast<std::uint8_t>(b[8])), offset,
                                SheetCell::Kind::Error);
                            break;
                        default:
                            // An empty text. A writer that does not calculate (xlwt) stores
                            // this in place of a result, indistinguishable from a formula
                            // whose result is "": both read as an empty cell.
                            break;
                    }
                    break;
                }
                case 0x0207: {  // STRING: the text result of the formula before
                    const std::vector<std::string_view> parts = sheet.withContinues(r);
                    Parts p(parts);
                    std::string text = p.string();
                    if (sheet.pending)
                        put(sheet.pendingRow, sheet.pendingColumn, std::move(text), offset);
                    sheet.pending = false;
                    break;
                }
                default:
                    break;
            }
        }
    } catch (const Damaged& d) {
        throw Error("工作簿“" + m_path + "”已损坏，无法作为 .xls 读取。", d.what);
    }
}

std::string XlsReader::cellText(int row, int column) {
    if (row < 1 || column < 1) return {};
    readRowsUntil(row);
    if (static_cast<std::size_t>(row) > m_rows.size()) return {};
    for (const SheetCell& cell : m_rows[static_cast<std::size_t>(row) - 1])
        if (cell.column == column) return readableText(row, cell);
    return {};
}

int XlsReader::lastRow() {
    readRowsUntil(std::numeric_limits<int>::max());
    for (std::size_t r = m_rows.size(); r > 0; --r)
        if (!m_rows[r - 1].empty()) return static_cast<int>(r);
    return 0;
}

int XlsReader::lastColumn() {
    readRowsUntil(std::numeric_limits<int>::max());
    return m_lastColumn;
}

}  // namespace tarvelo
