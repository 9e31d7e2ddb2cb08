#pragma once

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "workbook/CompoundStream.h"

namespace tarvelo {

// A compound document (the container of .xls workbooks): its sectors, the allocation table
// with its extension (DIFAT), the directory, and the mini stream for small streams. Every chain
// is followed with a bound, so a chain that loops or points outside the file is an error. The
// file stays open and streams are read from it as they are asked for, so memory does not grow
// with the workbook.
class CompoundFile {
public:
    // Throws tarvelo::Error naming `path` when the file is no compound document.
    explicit CompoundFile(const std::string& path);
    ~CompoundFile();
    CompoundFile(const CompoundFile&) = delete;
    CompoundFile& operator=(const CompoundFile&) = delete;

    bool has(std::u16string_view name) const;
    // The stream called `name`, every sector of its chain checked to lie in the file; nullopt
    // when there is none. It reads through this object, which must outlive it.
    std::optional<CompoundStream> stream(std::u16string_view name) const;

    // `count` bytes of the file at `offset`; throws when the file has fewer.
    void readAt(std::uint64_t offset, std::size_t count, char* out) const;
    [[noreturn]] void damaged(const std::string& what) const;

private:
    struct Entry {
        std::u16string name;
        int type;
        std::uint32_t start;
        std::uint64_t size;
    };
    // The sectors of a chain, at most as many as `size` bytes need (the whole chain when 0).
    std::vector<std::uint32_t> sectors(std::uint32_t start, std::uint64_t size) const;
    std::string chain(std::uint32_t start, std::uint64_t size, bool mini) const;

    std::string m_path;
    // Read at offsets as streams are asked for; one thread at a time, as the workbook is read.
    mutable std::ifstream m_file;
    std::uint64_t m_fileSize = 0;
    std::size_t m_sectorSize = 512;
    std::size_t m_miniCutoff = 4096;
    std::vector<std::uint32_t> m_fat;
    std::vector<std::uint32_t> m_miniFat;
    std::string m_miniStream;
    std::vector<Entry> m_entries;
};

}  // namespace tarvelo
