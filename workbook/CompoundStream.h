#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvelo {

class CompoundFile;

// One stream of a compound document, read at any offset without holding it: a small stream
// (kept in the mini stream) is held, a large one is read from its sectors in the file.
class CompoundStream {
public:
    // A large stream: its sectors in the file, in order.
    CompoundStream(const CompoundFile& file, std::vector<std::uint32_t> sectors,
                   std::size_t sectorSize, std::uint64_t size);
    // A small stream, held whole.
    CompoundStream(const CompoundFile& file, std::string bytes);

    std::uint64_t size() const { return m_size; }
    // Copies the `count` bytes at `offset` to `out`; throws tarvelo::Error past the end.
    void read(std::uint64_t offset, std::size_t count, char* out) const;

private:
    const CompoundFile* m_file;
    std::vector<std::uint32_t> m_sectors;
    std::size_t m_sectorSize = 512;
    std::uint64_t m_size = 0;
    std::string m_bytes;
    bool m_held = false;
};

}  // namespace tarvelo
