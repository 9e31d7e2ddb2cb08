#pragma once

#include <string>

namespace tarvelo {

class TDBGrid;

// What a grid shows, written to an .xlsx workbook the user names in a save dialog: its visible
// columns in their order with their titles, the selected rows when more than one is selected,
// otherwise every row. Numbers (number fields and price columns) go as numbers, dates as dates,
// and each column is as wide as in the grid.
class GridExport {
public:
    // Asks for the file, writes it and says how many rows went where; a failure is told in a
    // message and leaves no half-written file under the chosen name.
    static void toExcel(TDBGrid& grid);

    // The folder of the last export of this run (the dialog opens there).
    static std::string& lastFolder();
};

}  // namespace tarvelo
