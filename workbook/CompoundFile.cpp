#include "workbook/CompoundFile.h"

#include <filesystem>
#include <system_error>

#include "text/Error.h"

namespace tarvelo {

namespace {

constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFree = 0xFFFFFFFF;
constexpr std::string_view kMagic("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);

std::uint16_t u16(std::string_view b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      static_cast<unsigned char>(b[at + 1]) << 8);
}
std::uint32_t u32(std::string_view b, std::size_t at) {
    return u16(b, at) | static_cast<std::uint32_t>(u16(b, at + 2)) << 16;
}

}  // namespace

void CompoundFile::damaged(const std::string& what) const {
    throw Error("工作簿“" + m_path + "”已损坏，无法作为 .xls 读取。", what);
}

void CompoundFile::readAt(std::uint64_t offset, std::size_t count, char* out) const {
    if (offset > m_fileSize || count > m_fileSize - offset) damaged("读取超出文件的末尾");
    m_file.clear();
    if (!m_file.seekg(static_cast<std::streamoff>(offset)) ||
        !m_file.read(out, static_cast<std::streamsize>(count)))
        throw Error("无法读取文件“" + m_path + "”。");
}

CompoundFile::CompoundFile(const std::string& path) : m_path(path) {
    // The name is UTF-8 on every system (a Chinese file name on Windows too).
    const std::filesystem::path file(
        std::u8string(reinterpret_cast<const char8_t*>(path.data()), path.size()));
    m_file.open(file, std::ios::binary);
    std::error_code failed;
    if (m_file) {
        const auto size = std::filesystem::file_size(file, failed);
        if (!failed) m_fileSize = size;
    }
    if (m_fileSize < 512) damaged("不是复合文档");
    std::string header(512, '\0');
    readAt(0, header.size(), header.data());
    const std::string_view h(header);
    if (h.substr(0, 8) != kMagic) damaged("不是复合文档");
    const unsigned shift = u16(h, 30);
    if (shift != 9 && shift != 12) damaged("扇区大小无效");
    m_sectorSize = std::size_t{1} << shift;
    if (u16(h, 32) != 6) damaged("小扇区大小无效");
    const std::uint32_t fatSectors = u32(h, 44);
    const std::uint32_t directoryStart = u32(h, 48);
    m_miniCutoff = u32(h, 56);
    const std::uint32_t miniFatStart = u32(h, 60);
    const std::uint32_t miniFatSectors = u32(h, 64);
    std::uint32_t difat = u32(h, 68);
    const std::uint32_t difatSectors = u32(h, 72);
    const std::uint64_t fileSectors = m_fileSize / m_sectorSize;
    if (fatSectors > fileSectors || difatSectors > fileSectors || miniFatSectors > fileSectors)
        damaged("分配表的扇区数超出文件");

    std::string sector(m_sectorSize, '\0');
    const auto readSector = [&](std::uint32_t index) {
        const std::uint64_t at = (static_cast<std::uint64_t>(index) + 1) * m_sectorSize;
        if (index >= kEndOfChain - 16 || at + m_sectorSize > m_fileSize)
            damaged("扇区 " + std::to_string(index) + " 超出文件");
        readAt(at, m_sectorSize, sector.data());
        return std::string_view(sector);
    };
    // The allocation table's sectors: 109 in the header, the rest in the DIFAT chain.
    std::vector<std::uint32_t> fatLocations;
    for (int i = 0; i < 109 && fatLocations.size() < fatSectors; ++i)
        fatLocations.push_back(u32(h, 76 + 4 * static_cast<std::size_t>(i)));
    for (std::uint32_t n = 0; fatLocations.size() < fatSectors; ++n) {
        if (n >= difatSectors || difat >= kEndOfChain) damaged("DIFAT 链太短");
        const std::string_view s = readSector(difat);
        for (std::size_t i = 0; i + 4 < m_sectorSize && fatLocations.size() < fatSectors; i += 4)
            fatLocations.push_back(u32(s, i));
        difat = u32(s, m_sectorSize - 4);
    }
    m_fat.reserve(fatLocations.size() * (m_sectorSize / 4));
    for (std::uint32_t at : fatLocations) {
        const std::string_view s = readSector(at);
        for (std::size_t i = 0; i < m_sectorSize; i += 4)
            m_fat.push_back(u32(s, i));
    }

    const std::string directory = chain(directoryStart, 0, false);
    for (std::size_t at = 0; at + 128 <= directory.size(); at += 128) {
        const std::string_view e = std::string_view(directory).substr(at, 128);
        Entry entry;
        const std::size_t length = std::min<std::size_t>(u16(e, 64), 64);
        for (std::size_t i = 0; i + 2 <= length && i < 62; i += 2)
            if (const char16_t c = u16(e, i)) entry.name += c;
        entry.type = static_cast<unsigned char>(e[66]);
        entry.start = u32(e, 116);
        entry.size = u32(e, 120);  // the high half is zero for files of 512-byte sectors
        m_entries.push_back(std::move(entry));
    }
    if (m_entries.empty() || m_entries[0].type != 5) damaged("没有根目录");
    if (miniFatSectors > 0 && miniFatStart < kEndOfChain) {
        const std::string miniFat = chain(miniFatStart, 0, false);
        for (std::size_t i = 0; i + 4 <= miniFat.size(); i += 4)
            m_miniFat.push_back(u32(miniFat, i));
        m_miniStream = chain(m_entries[0].start, m_entries[0].size, false);
    }
}

CompoundFile::~CompoundFile() = default;

std::vector<std::uint32_t> CompoundFile::sectors(std::uint32_t start, std::uint64_t size) const {
    std::vector<std::uint32_t> out;
    // No chain is longer than the sectors that exist: a longer one loops.
    const std::uint64_t most = m_fileSize / m_sectorSize;
    for (std::uint32_t at = start; at != kEndOfChain; at = m_fat[at]) {
        if (at == kFree || at >= m_fat.size()) damaged("扇区链指向了不存在的扇区");
        if (out.size() + 1 > most) damaged("扇区链成环");
        if (at >= kEndOfChain - 16 ||
            (static_cast<std::uint64_t>(at) + 2) * m_sectorSize > m_fileSize)
            damaged("扇区 " + std::to_string(at) + " 超出文件");
        out.push_back(at);
        if (size > 0 && out.size() * m_sectorSize >= size) break;
    }
    if (size > 0 && out.size() * m_sectorSize < size) damaged("流比它声明的短");
    return out;
}

std::string CompoundFile::chain(std::uint32_t start, std::uint64_t size, bool mini) const {
    std::string out;
    if (!mini) {
        const std::vector<std::uint32_t> list = sectors(start, size);
        out.resize(list.size() * m_sectorSize);
        for (std::size_t i = 0; i < list.size(); ++i)
            readAt((static_cast<std::uint64_t>(list[i]) + 1) * m_sectorSize, m_sectorSize,
                   out.data() + i * m_sectorSize);
    } else {
        std::size_t steps = 0;
        const std::size_t most = m_miniStream.size() / 64;
        for (std::uint32_t at = start; at != kEndOfChain; at = m_miniFat[at]) {
            if (at == kFree || at >= m_miniFat.size()) damaged("扇区链指向了不存在的扇区");
            if (++steps > most) damaged("扇区链成环");
            const std::size_t from = static_cast<std::size_t>(at) * 64;
            if (from + 64 > m_miniStream.size()) damaged("小扇区超出小扇区流");
            out.append(m_miniStream, from, 64);
            if (size > 0 && out.size() >= size) break;
        }
        if (size > 0 && out.size() < size) damaged("流比它声明的短");
    }
    if (size > 0) out.resize(static_cast<std::size_t>(size));
    return out;
}

bool CompoundFile::has(std::u16string_view name) const {
    for (const auto& e : m_entries)
        if (e.type == 2 && e.name == name) return true;
    return false;
}

std::optional<CompoundStream> CompoundFile::stream(std::u16string_view name) const {
    for (const auto& e : m_entries) {
        if (e.type != 2 || e.name != name) continue;
        if (e.size == 0) return CompoundStream(*this, std::string());
        if (e.size < m_miniCutoff) return CompoundStream(*this, chain(e.start, e.size, true));
        return CompoundStream(*this, sectors(e.start, e.size), m_sectorSize, e.size);
    }
    return std::nullopt;
}

}  // namespace tarvelo
