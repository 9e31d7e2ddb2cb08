#include "workbook/CompoundStream.h"

#include <cstring>

#include "workbook/CompoundFile.h"

namespace tarvelo {

CompoundStream::CompoundStream(const CompoundFile& file, std::vector<std::uint32_t> sectors,
                               std::size_t sectorSize, std::uint64_t size)
    : m_file(&file), m_sectors(std::move(sectors)), m_sectorSize(sectorSize), m_size(size) {}

CompoundStream::CompoundStream(const CompoundFile& file, std::string bytes)
    : m_file(&file), m_size(bytes.size()), m_bytes(std::move(bytes)), m_held(true) {}

void CompoundStream::read(std::uint64_t offset, std::size_t count, char* out) const {
    if (offset > m_size || count > m_size - offset) m_file->damaged("读取超出流的末尾");
    if (m_held) {
        std::memcpy(out, m_bytes.data() + offset, count);
        return;
    }
    while (count > 0) {
        std::size_t index = static_cast<std::size_t>(offset / m_sectorSize);
        const std::size_t within = static_cast<std::size_t>(offset % m_sectorSize);
        // Sectors that follow each other in the file are read in one go.
        std::size_t run = m_sectorSize - within;
        while (run < count && index + 1 < m_sectors.size() &&
               m_sectors[index + 1] == m_sectors[index] + 1) {
            ++index;
            run += m_sectorSize;
        }
        const std::size_t take = std::min(run, count);
        const std::uint64_t first = m_sectors[static_cast<std::size_t>(offset / m_sectorSize)];
        m_file->readAt((first + 1) * m_sectorSize + within, take, out);
        out += take;
        offset += take;
        count -= take;
    }
}

}  // namespace tarvelo
