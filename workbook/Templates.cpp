#include "workbook/Templates.h"

#include <cstdint>
#include <stdexcept>

namespace tarvelo {

namespace {

// A small BIFF8 writer of our own: no library at hand writes this format.
class Bytes {
public:
    Bytes& u8(unsigned v) {
        m_s += static_cast<char>(v & 0xFF);
        return *this;
    }
    Bytes& u16(unsigned v) { return u8(v).u8(v >> 8); }
    Bytes& u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    Bytes& raw(std::string_view s) {
        m_s += s;
        return *this;
    }
    // UTF-8 to UTF-16LE code units; returns their count.
    std::size_t utf16(std::string_view text) {
        std::size_t units = 0;
        for (std::size_t i = 0; i < text.size();) {
            const auto b = static_cast<unsigned char>(text[i]);
            const std::size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
            char32_t c = n == 1 ? b : b & (0x7F >> n);
            for (std::size_t k = 1; k < n && i + k < text.size(); ++k)
                c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
            i += n;
            if (c >= 0x10000) {
                c -= 0x10000;
                u16(0xD800 + (c >> 10));
                u16(0xDC00 + (c & 0x3FF));
                units += 2;
            } else {
                u16(c);
                ++units;
            }
        }
        return units;
    }
    std::string& str() { return m_s; }

private:
    std::string m_s;
};

std::size_t unitsOf(std::string_view text) {
    Bytes b;
    return b.utf16(text);
}

void record(std::string& out, unsigned type, const std::string& body) {
    Bytes b;
    b.u16(type).u16(static_cast<unsigned>(body.size())).raw(body);
    out += b.str();
}

std::string bof(unsigned kind) {
    Bytes b;
    b.u16(0x0600).u16(kind).u16(0x0DBB).u16(0x07CC).u32(0).u32(0x00000006);
    return b.str();
}

std::string workbookStream(const WorkbookTemplate& t) {
    std::string globals;
    record(globals, 0x0809, bof(0x0005));
    record(globals, 0x0042, Bytes().u16(1200).str());  // UTF-16 text
    record(globals, 0x003D,
           Bytes()
               .u16(0)
               .u16(0)
               .u16(0x3000)
               .u16(0x2000)
               .u16(0x0038)
               .u16(0)
               .u16(0)
               .u16(1)
               .u16(0x0258)
               .str());
    for (int i = 0; i < 4; ++i) {  // the font table (the fifth font index is never used)
        Bytes f;
        f.u16(240).u16(0).u16(0x7FFF).u16(400).u16(0).u8(0).u8(0).u8(0x86).u8(0);
        f.u8(unitsOf("宋体")).u8(1);
        f.utf16("宋体");
        record(globals, 0x0031, f.str());
    }
    // Fifteen style formats and the one cell format, the defaults every reader expects.
    for (int i = 0; i < 16; ++i) {
        Bytes xf;
        xf.u16(0).u16(0).u16(i < 15 ? 0xFFF5 : 0x0001).u16(0x0020).u32(0).u32(0).u16(0).u16(0x20C0);
        record(globals, 0x00E0, xf.str());
    }
    record(globals, 0x0293, Bytes().u16(0x8000).u8(0).u8(0xFF).str());  // the Normal style
    Bytes sheetEntry;
    sheetEntry.u32(0).u8(0).u8(0).u8(unitsOf(t.sheetName)).u8(1);
    sheetEntry.utf16(t.sheetName);
    const std::size_t boundSheetAt = globals.size() + 4;  // where lbPlyPos goes
    record(globals, 0x0085, sheetEntry.str());
    record(globals, 0x000A, {});

    std::string sheet;
    record(sheet, 0x0809, bof(0x0010));
    record(sheet, 0x0200,
           Bytes().u32(0).u32(1).u16(0).u16(static_cast<unsigned>(t.titles.size())).u16(0).str());
    for (std::size_t c = 0; c < t.titles.size(); ++c) {
        Bytes label;
        label.u16(0).u16(static_cast<unsigned>(c)).u16(15);
        label.u16(static_cast<unsigned>(unitsOf(t.titles[c]))).u8(1);
        label.utf16(t.titles[c]);
        record(sheet, 0x0204, label.str());
    }
    record(sheet, 0x023E, Bytes().u16(0x06B6).u16(0).u16(0).u32(0x40).u16(0).u16(0).u32(0).str());
    record(sheet, 0x000A, {});

    const auto sheetAt = static_cast<std::uint32_t>(globals.size());
    for (int i = 0; i < 4; ++i)
        globals[boundSheetAt + static_cast<std::size_t>(i)] =
            static_cast<char>((sheetAt >> (8 * i)) & 0xFF);
    std::string stream = globals + sheet;
    // Streams under 4096 bytes would belong in the mini stream; a full-size stream keeps the
    // container to one simple layout (readers stop at the records' ends).
    if (stream.size() < 4096) stream.resize(4096, '\0');
    return stream;
}

// The compound document: header, one allocation table sector, one directory sector, then the
// workbook stream.
std::string compoundDocument(const std::string& stream) {
    constexpr std::uint32_t kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF, kFatSector = 0xFFFFFFFD;
    const std::size_t streamSectors = (stream.size() + 511) / 512;
    // One allocation table sector holds 128 entries: the table, the directory and the stream.
    if (streamSectors > 126)
        throw std::length_error("template workbook too large for one table sector");
    Bytes h;
    h.raw(std::string_view("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)).raw(std::string(16, '\0'));
    h.u16(0x003E).u16(0x0003).u16(0xFFFE).u16(9).u16(6).raw(std::string(6, '\0'));
    h.u32(0).u32(1).u32(1).u32(0).u32(4096).u32(kEnd).u32(0).u32(kEnd).u32(0);
    h.u32(0);  // the allocation table is sector 0
    for (int i = 1; i < 109; ++i)
        h.u32(kFree);

    Bytes fat;
    fat.u32(kFatSector).u32(kEnd);
    for (std::size_t i = 0; i < streamSectors; ++i)
        fat.u32(i + 1 < streamSectors ? static_cast<std::uint32_t>(i + 3) : kEnd);
    while (fat.str().size() < 512)
        fat.u32(kFree);

    const auto entry = [](Bytes& d, std::string_view name, unsigned type, std::uint32_t child,
                          std::uint32_t start, std::uint32_t size) {
        Bytes n;
        const std::size_t units = n.utf16(name);
        std::string nameBytes = n.str();
        nameBytes.resize(64, '\0');
        d.raw(nameBytes)
            .u16(name.empty() ? 0 : static_cast<unsigned>(2 * (units + 1)))
            .u8(type)
            .u8(1);
        d.u32(kFree)
            .u32(kFree)
            .u32(child)
            .raw(std::string(16, '\0'))
            .u32(0)
            .raw(std::string(16, '\0'));
        d.u32(start).u32(size).u32(0);
    };
    Bytes directory;
    entry(directory, "Root Entry", 5, 1, kEnd, 0);
    entry(directory, "Workbook", 2, kFree, 2, static_cast<std::uint32_t>(stream.size()));
    entry(directory, "", 0, kFree, 0, 0);
    entry(directory, "", 0, kFree, 0, 0);

    std::string out = h.str() + fat.str() + directory.str() + stream;
    out.resize(512 * (3 + streamSectors), '\0');
    return out;
}

}  // namespace

std::string WorkbookTemplate::bytes() const {
    return compoundDocument(workbookStream(*this));
}

const std::vector<WorkbookTemplate>& workbookTemplates() {
    static const std::vector<WorkbookTemplate> templates = {
        {"信息价模板.xls",
         "信息价",
         {"材料名", "标准材料编码", "造价处编码", "规格", "型号", "品牌", "材质", "计量单位",
          "信息价", "定额价", "备注"}},
        {"成交价模板.xls",
         "成交价",
         {"材料名", "标准材料编码", "规格", "型号", "品牌", "材质", "计量单位", "成交价", "地区",
          "成交日期", "备注"}},
        {"苗木价模板.xls",
         "苗木价",
         {"材料名称", "编码", "造价处编码", "规格", "型号", "品牌", "材质", "计量单位", "苗木价",
          "供应商", "联系人", "联系电话", "备注"}},
        {"厂商报价模板.xls",
         "create",
         {"材料名", "标准材料编码", "规格", "型号", "品牌", "材质", "计量单位", "厂商报价",
          "供应商", "联系人", "联系电话", "备注"}},
    };
    return templates;
}

}  // namespace tarvelo
