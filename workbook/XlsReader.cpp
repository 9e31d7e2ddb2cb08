#include "workbook/XlsReader.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "text/Error.h"
#include "workbook/CellText.h"
#include "workbook/CompoundFile.h"

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
// characters run into the next part start that part with a new option byte.
class Parts {
public:
    explicit Parts(std::vector<std::string_view> parts) : m_parts(std::move(parts)) {}

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
    bool atEnd() const { return m_part + 1 >= m_parts.size() && m_pos >= m_parts.back().size(); }

private:
    void need(std::size_t) {
        while (m_pos >= m_parts[m_part].size()) {
            if (m_part + 1 >= m_parts.size()) throw Damaged{"记录比它声明的短"};
            ++m_part;
            m_pos = 0;
        }
    }
    std::vector<std::string_view> m_parts;
    std::size_t m_part = 0;
    std::size_t m_pos = 0;
};

struct Record {
    std::uint16_t type;
    std::string_view body;
    std::size_t offset;  // of the record in the stream
};

class Records {
public:
    Records(std::string_view stream, std::size_t at) : m_s(stream), m_at(at) {}
    bool next(Record& r) {
        if (m_at + 4 > m_s.size()) return false;
        r.type = u16(m_s, m_at);
        const std::size_t length = u16(m_s, m_at + 2);
        if (m_at + 4 + length > m_s.size()) throw Damaged{"记录超出流"};
        r.body = m_s.substr(m_at + 4, length);
        r.offset = m_at;
        m_at += 4 + length;
        return true;
    }
    // The CONTINUE records that follow, appended to `parts`.
    void continues(std::vector<std::string_view>& parts) {
        while (m_at + 4 <= m_s.size() && u16(m_s, m_at) == 0x003C) {
            Record r;
            next(r);
            parts.push_back(r.body);
        }
    }

private:
    std::string_view m_s;
    std::size_t m_at;
};

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

}  // namespace

XlsReader::XlsReader(const std::string& path) : m_path(path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    const CompoundFile file(std::move(bytes), path);
    if (file.has(u"EncryptedPackage") || file.has(u"EncryptionInfo"))
        throw Error("工作簿“" + path + "”设置了打开密码（已加密），无法读取：请去掉密码后再导入。");
    const auto workbook = file.stream(u"Workbook");
    if (!workbook) {
        if (file.has(u"Book"))
            throw Error("工作簿“" + path +
                        "”是早期版本的 Excel 格式（Excel 5.0/95），无法读取：请另存为 .xlsx。");
        throw Error("文件“" + path + "”是复合文档，但不是 Excel 工作簿。");
    }
    const std::string_view s(*workbook);
    try {
        Records globals(s, 0);
        Record r;
        if (!globals.next(r) || r.type != 0x0809 || r.body.size() < 4)
            throw Damaged{"工作簿流不以 BOF 开始"};
        if (u16(r.body, 0) != 0x0600)
            throw Error("工作簿“" + path +
                        "”是早期版本的 Excel 格式（BIFF8 以前），无法读取：请另存为 .xlsx。");
        bool date1904 = false;
        std::size_t activeTab = 0;
        struct Sheet {
            std::string name;
            std::size_t offset;  // of its BOF
            bool worksheet;
        };
        std::vector<Sheet> sheets;  // every sheet, as the active tab counts them
        std::map<int, bool> customDate;
        std::vector<int> xfFormats;
        std::vector<std::string> sst;
        while (globals.next(r) && r.type != 0x000A) {
            switch (r.type) {
                case 0x002F:
                    throw Error("工作簿“" + path +
                                "”设置了打开密码（已加密），无法读取：请去掉密码后再导入。");
                case 0x0022:
                    if (r.body.size() >= 2) date1904 = u16(r.body, 0) == 1;
                    break;
                case 0x003D:
                    if (r.body.size() >= 12) activeTab = u16(r.body, 10);
                    break;
                case 0x0085: {
                    if (r.body.size() < 8) throw Damaged{"BOUNDSHEET 太短"};
                    Parts p({r.body.substr(6)});
                    const std::size_t offset = u32(r.body, 0);
                    std::string name = p.string(false);
                    sheets.push_back(
                        {std::move(name), offset, static_cast<unsigned char>(r.body[5]) == 0});
                    break;
                }
                case 0x041E: {
                    if (r.body.size() < 5) throw Damaged{"FORMAT 太短"};
                    Parts p({r.body.substr(2)});
                    customDate[u16(r.body, 0)] = isDateFormat(p.string());
                    break;
                }
                case 0x00E0:
                    if (r.body.size() >= 4) xfFormats.push_back(u16(r.body, 2));
                    break;
                case 0x00FC: {
                    std::vector<std::string_view> parts{r.body};
                    globals.continues(parts);
                    Parts p(parts);
                    p.skip(4);
                    const std::uint32_t unique = p.u32le();
                    if (unique > s.size()) throw Damaged{"共享字符串数目超出文件"};
                    for (std::uint32_t i = 0; i < unique; ++i)
                        sst.push_back(p.string());
                    break;
                }
                default:
                    break;
            }
        }
        if (sheets.empty()) throw Error("工作簿“" + path + "”中没有工作表。");
        if (activeTab >= sheets.size()) activeTab = 0;
        if (!sheets[activeTab].worksheet)
            throw Error(
                "工作簿“" + path + "”保存时的活动工作表“" + sheets[activeTab].name +
                "”是图表或宏表，没有单元格可读：请把价格所在的工作表设为活动工作表后保存。");
        m_sheetName = sheets[activeTab].name;

        const auto isDate = [&](std::size_t xf) {
            if (xf >= xfFormats.size()) return false;
            const int id = xfFormats[xf];
            const auto custom = customDate.find(id);
            return custom != customDate.end() ? custom->second : isBuiltInDateFormat(id);
        };
        const auto number = [&](double v, std::size_t xf) {
            return isDate(xf) ? dateText(v, date1904) : numberText(v);
        };
        const auto put = [&](std::size_t row, std::size_t col, std::string text) {
            if (text.empty() || col > 255 || row > 65535) return;
            m_cells[static_cast<int>(row) + 1][static_cast<int>(col) + 1] = std::move(text);
            m_lastColumn = std::max(m_lastColumn, static_cast<int>(col) + 1);
        };

        Records sheet(s, sheets[activeTab].offset);
        if (!sheet.next(r) || r.type != 0x0809) throw Damaged{"工作表不以 BOF 开始"};
        // The cell of a formula whose text result follows in a STRING record.
        bool pending = false;
        std::size_t pendingRow = 0, pendingColumn = 0;
        // Embedded objects (a chart on the sheet) bring their own BOF ... EOF: skip over them.
        int depth = 0;
        while (sheet.next(r)) {
            if (r.type == 0x0809) {
                ++depth;
                continue;
            }
            if (r.type == 0x000A) {
                if (depth == 0) break;
                --depth;
                continue;
            }
            if (depth > 0) continue;
            const std::string_view b = r.body;
            const auto cellAt = [&](std::size_t size) {
                if (b.size() < size) throw Damaged{"单元格记录太短"};
            };
            switch (r.type) {
                case 0x00FD:  // LABELSST
                    cellAt(10);
                    if (u32(b, 6) >= sst.size()) throw Damaged{"引用了不存在的共享字符串"};
                    put(u16(b, 0), u16(b, 2), sst[u32(b, 6)]);
                    break;
                case 0x00D6:    // RSTRING: a label with formatting runs after it
                case 0x0204: {  // LABEL
                    cellAt(9);
                    std::vector<std::string_view> parts{b.substr(6)};
                    sheet.continues(parts);
                    Parts p(parts);
                    put(u16(b, 0), u16(b, 2), p.string());
                    break;
                }
                case 0x0203:  // NUMBER
                    cellAt(14);
                    put(u16(b, 0), u16(b, 2), number(f64(b, 6), u16(b, 4)));
                    break;
                case 0x027E:  // RK
                    cellAt(10);
                    put(u16(b, 0), u16(b, 2), number(rkValue(u32(b, 6)), u16(b, 4)));
                    break;
                case 0x00BD: {  // MULRK
                    cellAt(6);
                    const std::size_t row = u16(b, 0);
                    std::size_t col = u16(b, 2);
                    for (std::size_t at = 4; at + 6 <= b.size() - 2; at += 6, ++col)
                        put(row, col, number(rkValue(u32(b, at + 2)), u16(b, at)));
                    break;
                }
                case 0x0205:  // BOOLERR
                    cellAt(8);
                    put(u16(b, 0), u16(b, 2),
                        b[7] ? errorText(static_cast<std::uint8_t>(b[6]))
                             : (b[6] ? std::string("TRUE") : std::string("FALSE")));
                    break;
                case 0x0006: {  // FORMULA: its cached result
                    cellAt(20);
                    const std::size_t row = u16(b, 0), col = u16(b, 2);
                    if (u16(b, 12) != 0xFFFF) {
                        put(row, col, number(f64(b, 6), u16(b, 4)));
                        break;
                    }
                    switch (static_cast<unsigned char>(b[6])) {
                        case 0:  // the text is in the STRING record next
                            pending = true;
                            pendingRow = row;
                            pendingColumn = col;
                            break;
                        case 1:
                            put(row, col, b[8] ? "TRUE" : "FALSE");
                            break;
                        case 2:
                            put(row, col, errorText(static_cast<std::uint8_t>(b[8])));
                            break;
                        default:
                            break;  // an empty text
                    }
                    break;
                }
                case 0x0207: {  // STRING: the text result of the formula before
                    std::vector<std::string_view> parts{b};
                    sheet.continues(parts);
                    Parts p(parts);
                    std::string text = p.string();
                    if (pending) put(pendingRow, pendingColumn, std::move(text));
                    pending = false;
                    break;
                }
                case 0x00E5: {  // MERGECELLS: the covered cells read empty
                    cellAt(2);
                    const std::size_t count = u16(b, 0);
                    for (std::size_t i = 0; i < count && 2 + 8 * i + 8 <= b.size(); ++i) {
                        const std::size_t at = 2 + 8 * i;
                        const int r0 = u16(b, at) + 1, r1 = u16(b, at + 2) + 1;
                        const int c0 = u16(b, at + 4) + 1, c1 = u16(b, at + 6) + 1;
                        for (auto it = m_cells.lower_bound(r0);
                             it != m_cells.end() && it->first <= r1; ++it)
                            for (int c = c0; c <= c1; ++c)
                                if (it->first != r0 || c != c0) it->second.erase(c);
                    }
                    break;
                }
                default:
                    break;
            }
        }
    } catch (const Damaged& d) {
        throw Error("工作簿“" + path + "”已损坏，无法作为 .xls 读取。", d.what);
    }
}

std::string XlsReader::cellText(int row, int column) {
    const auto r = m_cells.find(row);
    if (r == m_cells.end()) return {};
    const auto c = r->second.find(column);
    return c == r->second.end() ? std::string() : c->second;
}

int XlsReader::lastRow() {
    for (auto it = m_cells.rbegin(); it != m_cells.rend(); ++it)
        if (!it->second.empty()) return it->first;
    return 0;
}

int XlsReader::lastColumn() {
    return m_lastColumn;
}

}  // namespace tarvelo
