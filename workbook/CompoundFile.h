#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvelo {

// A compound document (the container of .xls workbooks): its sectors, the allocation table
// with its extension (DIFAT), the directory, and the mini stream for small streams. Every chain
// is followed with a bound, so a chain that loops or points outside the file is an error.
class CompoundFile {
public:
    // Throws tarvelo::Error naming `path` when `bytes` are no compound document.
    CompoundFile(std::string bytes, const std::string& path);

    bool has(std::u16string_view name) const;
    // The whole stream called `name`; nullopt when there is none.
    std::optional<std::string> stream(std::u16string_view name) const;

private:
    struct Entry {
        std::u16string name;
        int type;
        std::uint32_t start;
        std::uint64_t size;
    };
    std::string chain(std::uint32_t start, std::uint64_t size, bool mini) const;
    std::string_view sector(std::uint32_t index) const;
    [[noreturn]] void damaged(const std::string& what) const;

    std::string m_bytes;
    std::string m_path;
    std::size_t m_sectorSize = 512;
    std::size_t m_miniCutoff = 4096;
    std::vector<std::uint32_t> m_fat;
    std::vector<std::uint32_t> m_miniFat;
    std::string m_miniStream;
    std::vector<Entry> m_entries;
};

}  // namespace tarvelo
