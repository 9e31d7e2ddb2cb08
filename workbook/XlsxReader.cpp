#include "workbook/XlsxReader.h"

#include <zip.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <pugixml.hpp>

#include "data/DataPacket.h"
#include "text/Date.h"
#include "text/Error.h"
#include "text/Trim.h"
#include "workbook/CellError.h"
#include "workbook/CellText.h"

namespace tarvelo {

namespace {

constexpr std::size_t kMaxSmallPart = 16u << 20;       // workbook, relationships, styles
constexpr std::size_t kMaxSharedStrings = 128u << 20;  // the shared string table
constexpr std::size_t kMaxSheetBytes = 2u << 30;       // the sheet part, read in chunks
constexpr std::size_t kChunk = 256u << 10;
constexpr std::size_t kMaxRowBytes = 16u << 20;  // one row element, unparsed
constexpr std::size_t kMaxMerges = 4096;         // merged areas looked at
// A sheet part up to this size is read whole at the first question (every row the import can
// take, 9,999 rows of 13 columns, fits with room to spare), so its merged areas are known before
// any cell is answered.
constexpr std::size_t kWholeSheet = 8u << 20;

std::string_view localName(const char* name) {
    const std::string_view n(name);
    const auto colon = n.find(':');
    return colon == std::string_view::npos ? n : n.substr(colon + 1);
}

pugi::xml_node child(const pugi::xml_node& parent, std::string_view name) {
    for (auto c = parent.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && localName(c.name()) == name) return c;
    return {};
}

// Text of an OOXML string with its _xHHHH_ escapes (a CR stored as "_x000D_") decoded.
std::string decodeEscapes(std::string s) {
    if (s.find("_x") == std::string::npos) return s;  // nearly every text
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '_' && i + 6 < s.size() && s[i + 1] == 'x' && s[i + 6] == '_') {
            char* end = nullptr;
            const std::string hex = s.substr(i + 2, 4);
            const long cp = std::strtol(hex.c_str(), &end, 16);
            if (end == hex.c_str() + 4) {
                if (cp < 0x80) {
                    out += static_cast<char>(cp);
                } else if (cp < 0x800) {
                    out += static_cast<char>(0xC0 | (cp >> 6));
                    out += static_cast<char>(0x80 | (cp & 0x3F));
                } else {
                    out += static_cast<char>(0xE0 | (cp >> 12));
                    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (cp & 0x3F));
                }
                i += 6;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

// The text of a string item (<si> or <is>): its <t>, or its runs' <t> joined; phonetic runs
// (<rPh>) are left out.
std::string stringItem(const pugi::xml_node& item) {
    std::string text;
    for (auto c = item.first_child(); c; c = c.next_sibling()) {
        const std::string_view n = localName(c.name());
        if (n == "t")
            text += c.text().get();
        else if (n == "r")
            text += child(c, "t").text().get();
    }
    return decodeEscapes(std::move(text));
}

constexpr unsigned kParse = pugi::parse_default | pugi::parse_ws_pcdata;

// "B12" -> column 2; 0 when the reference is malformed.
int columnOf(std::string_view ref) {
    int col = 0;
    for (char c : ref) {
        if (c >= 'A' && c <= 'Z')
            col = col * 26 + (c - 'A' + 1);
        else if (c >= 'a' && c <= 'z')
            col = col * 26 + (c - 'a' + 1);
        else
            break;
        if (col > 16384) return 0;
    }
    return col;
}

// Where the closing tag </[prefix:]name> starts (`afterIt`: where it ends) in `text`: the first
// one of "sheetData>", the last one of "row>"; npos when there is none.
std::size_t closingTag(std::string_view text, std::string_view name, bool last) {
    std::size_t pos = last ? text.rfind(name) : text.find(name);
    while (pos != std::string_view::npos) {
        const std::size_t lt = text.rfind('<', pos);
        if (lt != std::string_view::npos && lt + 1 < text.size() && text[lt + 1] == '/') {
            const std::string_view between = text.substr(lt + 2, pos - lt - 2);
            if (between.empty() ||
                (between.back() == ':' && between.find_first_of(" <>/") == std::string_view::npos))
                return last ? pos + name.size() : lt;
        }
        if (last) {
            if (pos == 0) break;
            pos = text.rfind(name, pos - 1);
        } else {
            pos = text.find(name, pos + 1);
        }
    }
    return std::string_view::npos;
}

// Where the last row element that begins in `text` starts: "<row" or "<prefix:row" followed by
// a blank, ">" or "/"; npos when there is none.
std::size_t lastRowStart(std::string_view text) {
    for (std::size_t pos = text.rfind("row"); pos != std::string_view::npos && pos > 0;
         pos = pos > 0 ? text.rfind("row", pos - 1) : std::string_view::npos) {
        const std::size_t after = pos + 3;
        if (after >= text.size()) continue;
        const char next = text[after];
        if (next != ' ' && next != '>' && next != '/' && next != '\t' && next != '\r' &&
            next != '\n')
            continue;
        if (text[pos - 1] == '<') return pos - 1;
        if (text[pos - 1] == ':') {
            const std::size_t lt = text.rfind('<', pos);
            if (lt != std::string_view::npos &&
                text.substr(lt + 1, pos - lt - 1).find_first_of(" />\"'") == std::string_view::npos)
                return lt;
        }
        if (pos == 0) break;
    }
    return std::string_view::npos;
}

}  // namespace

XlsxReader::XlsxReader(const std::string& path) : m_path(path) {
    int error = 0;
    m_zip = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (!m_zip) {
        zip_error_t e;
        zip_error_init_with_code(&e, error);
        const std::string detail = zip_error_strerror(&e);
        zip_error_fini(&e);
        throw Error("工作簿“" + path + "”已损坏，无法作为 .xlsx 打开。", detail);
    }
    try {
        loadWorkbook();
        loadSharedStrings();
        loadStyles();
        m_sheet = zip_fopen(m_zip, m_sheetPart.c_str(), 0);
        if (!m_sheet)
            throw Error("工作簿“" + path + "”缺少工作表“" + m_sheetName + "”的内容。", m_sheetPart);
        zip_stat_t st;
        m_readWhole = zip_stat(m_zip, m_sheetPart.c_str(), 0, &st) == 0 &&
                      (st.valid & ZIP_STAT_SIZE) && st.size <= kWholeSheet;
    } catch (...) {
        zip_close(m_zip);
        throw;
    }
}

XlsxReader::~XlsxReader() {
    if (m_sheet) zip_fclose(m_sheet);
    zip_close(m_zip);
}

std::string XlsxReader::readPart(const std::string& name, std::size_t limit) {
    zip_stat_t st;
    if (zip_stat(m_zip, name.c_str(), 0, &st) != 0) return {};
    zip_file_t* f = zip_fopen(m_zip, name.c_str(), 0);
    if (!f)
        throw Error("工作簿“" + m_path + "”的部件“" + name + "”无法读取。", zip_strerror(m_zip));
    std::string out;
    char buf[65536];
    zip_int64_t n;
    while ((n = zip_fread(f, buf, sizeof buf)) > 0) {
        out.append(buf, static_cast<std::size_t>(n));
        if (out.size() > limit) {
            zip_fclose(f);
            throw Error("工作簿“" + m_path + "”的部件“" + name + "”解压后过大，可能是恶意文件。",
                        "上限 " + std::to_string(limit >> 20) + " MiB");
        }
    }
    const bool failed = n < 0;
    zip_fclose(f);
    if (failed) throw Error("工作簿“" + m_path + "”已损坏：部件“" + name + "”无法解压。");
    return out;
}

void XlsxReader::loadWorkbook() {
    const std::string workbook = readPart("xl/workbook.xml", kMaxSmallPart);
    if (workbook.empty()) {
        // A zip archive without a workbook part: an OpenDocument file, a plain archive, ...
        throw Error("文件“" + m_path + "”不是 Excel 工作簿（.xlsx）：其中没有工作簿部件。");
    }
    pugi::xml_document doc;
    if (!doc.load_buffer(workbook.data(), workbook.size(), kParse))
        throw Error("工作簿“" + m_path + "”已损坏：workbook.xml 不是有效的 XML。");
    const auto root = doc.document_element();
    if (const auto pr = child(root, "workbookPr")) {
        const std::string v = pr.attribute("date1904").value();
        m_date1904 = v == "1" || v == "true";
    }
    if (const auto calc = child(root, "calcPr")) {
        const std::string v = calc.attribute("fullCalcOnLoad").value();
        m_uncalculated = v == "1" || v == "true";
    }
    int active = 0;
    if (const auto views = child(root, "bookViews"))
        if (const auto view = child(views, "workbookView"))
            active = view.attribute("activeTab").as_int(0);
    std::vector<std::pair<std::string, std::string>> sheets;  // name, relationship id
    if (const auto list = child(root, "sheets"))
        for (auto s = list.first_child(); s; s = s.next_sibling())
            if (localName(s.name()) == "sheet") {
                std::string rid;
                for (auto a = s.first_attribute(); a; a = a.next_attribute())
                    if (localName(a.name()) == "id") rid = a.value();
                sheets.emplace_back(s.attribute("name").value(), rid);
            }
    if (sheets.empty()) throw Error("工作簿“" + m_path + "”中没有工作表。");
    if (active < 0 || active >= static_cast<int>(sheets.size())) active = 0;
    m_sheetName = sheets[static_cast<std::size_t>(active)].first;

    const std::string rels = readPart("xl/_rels/workbook.xml.rels", kMaxSmallPart);
    pugi::xml_document relDoc;
    relDoc.load_buffer(rels.data(), rels.size(), kParse);
    for (auto r = relDoc.document_element().first_child(); r; r = r.next_sibling()) {
        if (std::string_view(r.attribute("Id").value()) !=
            sheets[static_cast<std::size_t>(active)].second)
            continue;
        std::string target = r.attribute("Target").value();
        m_sheetPart = target.starts_with('/') ? target.substr(1) : "xl/" + target;
    }
    if (m_sheetPart.empty())
        throw Error("工作簿“" + m_path + "”已损坏：找不到工作表“" + m_sheetName + "”的部件。");
}

void XlsxReader::loadSharedStrings() {
    const std::string text = readPart("xl/sharedStrings.xml", kMaxSharedStrings);
    if (text.empty()) return;
    pugi::xml_document doc;
    if (!doc.load_buffer(text.data(), text.size(), kParse))
        throw Error("工作簿“" + m_path + "”已损坏：共享字符串不是有效的 XML。");
    for (auto si = doc.document_element().first_child(); si; si = si.next_sibling())
        if (localName(si.name()) == "si") m_sharedStrings.push_back(stringItem(si));
}

void XlsxReader::loadStyles() {
    const std::string text = readPart("xl/styles.xml", kMaxSmallPart);
    if (text.empty()) return;
    pugi::xml_document doc;
    if (!doc.load_buffer(text.data(), text.size(), kParse)) return;  // no styles: no dates
    const auto root = doc.document_element();
    std::map<int, bool> customDate;
    if (const auto fmts = child(root, "numFmts"))
        for (auto f = fmts.first_child(); f; f = f.next_sibling())
            customDate[f.attribute("numFmtId").as_int()] =
                isDateFormat(f.attribute("formatCode").value());
    if (const auto xfs = child(root, "cellXfs"))
        for (auto xf = xfs.first_child(); xf; xf = xf.next_sibling()) {
            if (localName(xf.name()) != "xf") continue;
            const int id = xf.attribute("numFmtId").as_int();
            const auto custom = customDate.find(id);
            m_dateStyles.push_back(custom != customDate.end() ? custom->second
                                                              : isBuiltInDateFormat(id));
        }
}

// Merged areas are listed after the rows, in the same sheet part: they are picked up when the
// one reading of the part gets there, never by inflating the part a second time (a deflated part
// cannot be entered at its end). So that no cell is answered before they are known, a part of
// ordinary size is read whole at the first question; the import's rule, which stops by row
// 10,000, then reads what it would have read anyway. A longer part is read only as far down as
// asked, and its areas apply from the moment the reading has passed them (lastRow() and
// lastColumn() always have): until then a covered cell reads as stored, which for every
// spreadsheet program is empty, as a covered cell keeps no value there.
void XlsxReader::scanMerges(std::string_view text) {
    for (std::size_t at = text.find("mergeCell"); at != std::string_view::npos;
         at = text.find("mergeCell", at + 1)) {
        // An element, "<mergeCell " or "<prefix:mergeCell ", never a word in some text.
        const std::size_t after = at + 9;
        if (after >= text.size() || (text[after] != ' ' && text[after] != '\t' &&
                                     text[after] != '\r' && text[after] != '\n'))
            continue;
        const std::size_t lt = text.rfind('<', at);
        if (lt == std::string_view::npos ||
            text.substr(lt + 1, at - lt - 1).find_first_of(" />\"'") != std::string_view::npos ||
            (at > lt + 1 && text[at - 1] != ':'))
            continue;
        const std::size_t close = text.find('>', at);
        const std::size_t ref = text.find("ref=\"", at);
        if (ref == std::string_view::npos || close == std::string_view::npos || ref > close)
            continue;
        const std::size_t end = text.find('"', ref + 5);
        const std::string_view range = text.substr(ref + 5, end - ref - 5);
        const auto colon = range.find(':');
        if (colon == std::string_view::npos) continue;
        const auto cell = [](std::string_view r, int& row, int& col) {
            col = columnOf(r);
            std::size_t i = 0;
            while (i < r.size() && (r[i] < '0' || r[i] > '9'))
                ++i;
            row = std::atoi(std::string(r.substr(i)).c_str());
        };
        Area a{};
        cell(range.substr(0, colon), a.row0, a.col0);
        cell(range.substr(colon + 1), a.row1, a.col1);
        if (a.row0 > 0 && a.col0 > 0 && a.row1 >= a.row0 && a.col1 >= a.col0 &&
            m_merges.size() < kMaxMerges)
            m_merges.push_back(a);
    }
}

void XlsxReader::readTail() {
    // What follows the rows, read on in the same stream: only whole tags are looked at, and
    // what could be the start of one is kept for the next chunk.
    char buf[kChunk];
    while (true) {
        const std::size_t lastOpen = m_buffer.rfind('<');
        scanMerges(std::string_view(m_buffer).substr(
            0, lastOpen == std::string::npos ? m_buffer.size() : lastOpen));
        m_buffer.erase(0, lastOpen == std::string::npos ? m_buffer.size() : lastOpen);
        if (m_buffer.size() > kMaxRowBytes) m_buffer.clear();  // no tag is that long
        const zip_int64_t n = zip_fread(m_sheet, buf, sizeof buf);
        if (n < 0) throw Error("工作簿“" + m_path + "”已损坏：工作表无法解压。");
        if (n == 0) break;
        m_sheetBytes += static_cast<std::size_t>(n);
        if (m_sheetBytes > kMaxSheetBytes)
            throw Error("工作簿“" + m_path + "”的工作表解压后过大，可能是恶意文件。");
        m_buffer.append(buf, static_cast<std::size_t>(n));
    }
    scanMerges(m_buffer);
    m_buffer.clear();
    std::sort(m_merges.begin(), m_merges.end(),
              [](const Area& a, const Area& b) { return a.row0 < b.row0; });
}

bool XlsxReader::covered(int row, int column) const {
    for (const Area& a : m_merges) {
        if (a.row0 > row) break;  // sorted by first row
        if (row >= a.row0 && row <= a.row1 && column >= a.col0 && column <= a.col1 &&
            (row != a.row0 || column != a.col0))
            return true;
    }
    return false;
}

std::string XlsxReader::valueText(std::string_view type, std::string_view value, int style) const {
    if (value.empty()) return {};
    if (type == "s") {
        const std::string_view digits = trim(value);
        std::size_t i = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), i);
        if (error != std::errc() || end == digits.data() || i >= m_sharedStrings.size())
            throw Error("工作簿“" + m_path + "”已损坏：引用了不存在的共享字符串。",
                        std::string(value));
        return m_sharedStrings[i];
    }
    if (type == "inlineStr") return std::string(value);  // decoded already
    if (type == "str") return decodeEscapes(std::string(value));
    if (type == "b") return value == "1" || value == "true" ? "TRUE" : "FALSE";
    if (type == "d") {  // an ISO date written as text
        if (auto d = Date::fromText(value.substr(0, 10))) return d->shortText();
        return std::string(value);
    }
    // In the file's own notation, whatever the computer's locale: never strtod.
    const std::string_view digits = trim(value);
    double number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc() || end == digits.data()) return std::string(value);
    if (style >= 0 && static_cast<std::size_t>(style) < m_dateStyles.size() &&
        m_dateStyles[static_cast<std::size_t>(style)])
        return dateText(number, m_date1904);
    return numberText(number);
}

void XlsxReader::parseRows(char* fragment, std::size_t size) {
    // The rows are parsed where they lie, as a fragment of elements: no copy of the sheet.
    pugi::xml_document doc;
    if (!doc.load_buffer_inplace(fragment, size, kParse | pugi::parse_fragment))
        throw Error("工作簿“" + m_path + "”已损坏：工作表“" + m_sheetName + "”不是有效的 XML。");
    for (auto row = doc.first_child(); row; row = row.next_sibling()) {
        if (localName(row.name()) != "row") continue;
        const int r = row.attribute("r").as_int(m_lastParsedRow + 1);
        if (r <= m_lastParsedRow || r > 1048576)
            throw Error("工作簿“" + m_path + "”已损坏：工作表的行号次序不对。", std::to_string(r));
        m_lastParsedRow = r;
        std::vector<SheetCell> cells;
        int col = 0;
        for (auto c = row.first_child(); c; c = c.next_sibling()) {
            if (localName(c.name()) != "c") continue;
            pugi::xml_attribute ref, typeAttribute, styleAttribute;
            for (auto a = c.first_attribute(); a; a = a.next_attribute()) {
                const char* n = a.name();
                if (n[0] == 'r' && n[1] == 0 && !ref)
                    ref = a;
                else if (n[0] == 't' && n[1] == 0 && !typeAttribute)
                    typeAttribute = a;
                else if (n[0] == 's' && n[1] == 0 && !styleAttribute)
                    styleAttribute = a;
            }
            col = ref ? columnOf(ref.value()) : col + 1;
            if (col <= 0)
                throw Error("工作簿“" + m_path + "”已损坏：单元格引用无效。", ref.value());
            const std::string_view type = typeAttribute.value();
            std::string text;
            SheetCell::Kind kind = SheetCell::Kind::Value;
            const pugi::xml_node value = child(c, type == "inlineStr" ? "is" : "v");
            if (child(c, "f") && (m_uncalculated || !value ||
                                  (!*value.text().get() && type != "str" && type != "inlineStr"))) {
                // A formula without its result: none stored, or an empty one where only text
                // can be empty, or a placeholder in a workbook that was never calculated.
                kind = SheetCell::Kind::NoResult;
            } else if (type == "inlineStr") {
                text = valueText(type, stringItem(value), styleAttribute.as_int(-1));
            } else if (type == "e") {
                text = value.text().get();
                kind = SheetCell::Kind::Error;
            } else {
                text = valueText(type, value.text().get(), styleAttribute.as_int(-1));
            }
            if (text.empty() && kind == SheetCell::Kind::Value) continue;
            cells.push_back({col, std::move(text), kind});
        }
        if (!cells.empty()) {
            m_rows[r] = std::move(cells);
            m_lookupRow = 0;
        }
    }
}

void XlsxReader::readRowsUntil(int row) {
    if (m_readWhole) row = 1 << 30;
    char buf[kChunk];
    while (!m_sheetDone && m_lastParsedRow < row) {
        const zip_int64_t n = zip_fread(m_sheet, buf, sizeof buf);
        if (n < 0) throw Error("工作簿“" + m_path + "”已损坏：工作表无法解压。");
        m_sheetBytes += static_cast<std::size_t>(n);
        if (m_sheetBytes > kMaxSheetBytes)
            throw Error("工作簿“" + m_path + "”的工作表解压后过大，可能是恶意文件。");
        m_buffer.append(buf, static_cast<std::size_t>(n));
        const bool atEnd = n == 0;
        if (!m_inSheetData) {
            const auto at = m_buffer.find("sheetData");
            if (at == std::string::npos) {
                if (atEnd) m_sheetDone = true;
                // keep a tail in case the name is split across chunks
                if (m_buffer.size() > 64) m_buffer.erase(0, m_buffer.size() - 64);
                continue;
            }
            const auto close = m_buffer.find('>', at);
            if (close == std::string::npos) {
                if (atEnd) throw Error("工作簿“" + m_path + "”已损坏：工作表的内容不完整。");
                continue;
            }
            if (m_buffer[close - 1] == '/') {  // <sheetData/>: no rows
                m_sheetDone = true;
                break;
            }
            m_buffer.erase(0, close + 1);
            m_inSheetData = true;
        }
        // Everything up to the start of the last row that begins here is complete and parsed
        // (self-closing rows included); at the end of the sheet data, everything. A "</" is
        // always a closing tag: text cannot hold a bare "<".
        std::size_t end = closingTag(m_buffer, "sheetData>", false);
        if (end != std::string::npos) {
            m_sheetDone = true;
        } else {
            end = lastRowStart(m_buffer);
        }
        if (end == std::string::npos || end == 0) {
            if (atEnd) throw Error("工作簿“" + m_path + "”已损坏：工作表的内容不完整。");
            // One row (or what lies between rows) larger than this is no worksheet.
            if (m_buffer.size() > kMaxRowBytes)
                throw Error("工作簿“" + m_path + "”已损坏：工作表的一行过大。");
            continue;
        }
        parseRows(m_buffer.data(), end);
        m_buffer.erase(0, end);
        if (m_sheetDone) readTail();
        if (atEnd && !m_sheetDone)
            throw Error("工作簿“" + m_path + "”已损坏：工作表的内容不完整。");
    }
}

std::string XlsxReader::cellText(int row, int column) {
    if (row < 1 || column < 1) return {};
    readRowsUntil(row);
    // The cells of a row are asked for one after another: its place is kept.
    if (row != m_lookupRow) {
        const auto it = m_rows.find(row);
        m_lookupRow = row;
        m_lookupCells = it == m_rows.end() ? nullptr : &it->second;
    }
    if (!m_lookupCells) return {};
    for (const SheetCell& cell : *m_lookupCells)
        if (cell.column == column)
            return covered(row, column) ? std::string() : readableText(row, cell);
    return {};
}

int XlsxReader::lastRow() {
    readRowsUntil(1 << 30);
    for (auto it = m_rows.rbegin(); it != m_rows.rend(); ++it)
        for (const SheetCell& cell : it->second)
            if (!covered(it->first, cell.column)) return it->first;
    return 0;
}

int XlsxReader::lastColumn() {
    readRowsUntil(1 << 30);
    int last = 0;
    for (const auto& [row, cells] : m_rows)
        for (const SheetCell& cell : cells)
            if (cell.column > last && !covered(row, cell.column)) last = cell.column;
    return last;
}

}  // namespace tarvelo
