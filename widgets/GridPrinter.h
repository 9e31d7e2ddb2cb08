#pragma once

#include <QString>

class QPrinter;
class QTextDocument;

namespace tarvelo {

class TDBGrid;

// What a grid shows, as printed pages: a heading (what the rows are, and the date of
// printing), a table of the visible columns in their order whose title row is repeated on every
// page, and page numbers; in the grid's font; landscape when the columns are too wide for an
// upright page.
class GridPrinter {
public:
    // The print preview, from which the user prints.
    static void preview(TDBGrid& grid);
    // The same pages as a PDF the user names in a save dialog; says where it went.
    static void toPdf(TDBGrid& grid);
    // Prints onto `printer` (set up as a PDF file or a printer).
    static void print(TDBGrid& grid, QPrinter& printer);
};

}  // namespace tarvelo
