// Workbook reading: any bytes are read as a workbook or refused with tarvelo::Error; never a
// crash, a hang or an unbounded allocation. The input goes through a file, as users' files do.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "text/Error.h"
#include "workbook/WorkbookReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = (std::filesystem::temp_directory_path() /
                                     ("tarvelo-workbook-fuzz-" + std::to_string(::getpid())))
                                        .string();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    try {
        const auto sheet = tarvelo::WorkbookReader::open(path);
        tarvelo::forEachImportRow(*sheet, [&](int row) {
            for (int c = 1; c <= 13; ++c)
                sheet->cellText(row, c);
        });
        sheet->lastRow();
        sheet->lastColumn();
    } catch (const tarvelo::Error&) {
    }
    return 0;
}
