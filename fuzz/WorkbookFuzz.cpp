// Workbook reading: any bytes are read as a workbook or refused with tarvelo::Error; never a
// crash, a hang or an unbounded allocation. The input goes through a file, as users' files do.
// Every cell's text then goes through the check of what can reach the service: its fitted form
// always crosses code page 936 unchanged.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "text/CodePage936.h"
#include "text/Error.h"
#include "text/WireText.h"
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
            for (int c = 1; c <= 13; ++c) {
                const std::string text = sheet->cellText(row, c);
                const std::string fitted = tarvelo::WireText::fitted(text);
                if (tarvelo::WireText::flaws(text).empty() != (fitted == text) ||
                    tarvelo::throughCp936(fitted) != fitted)
                    __builtin_trap();
            }
        });
        sheet->lastRow();
        sheet->lastColumn();
    } catch (const tarvelo::Error&) {
    }
    return 0;
}
