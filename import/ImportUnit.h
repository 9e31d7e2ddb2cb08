#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/PriceTable.h"
#include "text/WireText.h"

namespace tarvelo {

class DataSet;
class StatementBuffer;
class WorkbookReader;

// What the data centre's page of a category imports into: the unit of stored rows a workbook
// replaces (a period, and a region or material class where the table has one), its statements
// and its key list, and how a worksheet's columns fill the table's fields.
// A worksheet cell whose text cannot reach the service as it is: what it holds, what it will be
// stored as, and the characters that change.
struct CellChange {
    int row = 0;
    int column = 0;
    std::string label;  // "第 3 行 H 列（计量单位）"
    std::string before;
    std::string after;
    std::vector<WireFlaw> flaws;
};

struct ImportUnit {
    Category category;

    static const ImportUnit& of(Category category);

    // Whether the unit needs a target (a region, or a material class) and the message when it
    // is empty; deal prices take the whole period.
    bool needsTarget() const { return category != Category::CJJ; }
    std::string_view emptyTargetMessage() const;

    // The unit's stored rows, line by line (the existence check of an update, and the review
    // query, which leaves out an empty target to list the whole period). Values quoted. `select`
    // is the first line: the rows, or " Select count(*) AS N " for how many. (No delete statement:
    // an update deletes the stored rows in the same delta that inserts the new ones.)
    void storedRows(StatementBuffer& b, std::string_view period, std::string_view target,
                    std::string_view select = " Select * ") const;
    // The column the unit's target goes into, for what the target box may hold; nullopt for
    // deal prices.
    std::optional<FieldDef> targetField() const;

    // Appends the worksheet's rows by the import rule to the open `dataSet`, logged as
    // insertions: PERDID, SERIAL (worksheet row - 1), PLACE or ICEXT from the target, the
    // mapped columns (column 4 trimmed on the information-price page), RQ = `today`. Returns the
    // number of rows. A text that cannot reach the service unchanged is stored in its fitted form
    // and listed in `changes`, for the user to agree to before anything is sent. Throws
    // tarvelo::Error naming the worksheet row, the column's title and why, when a cell cannot be
    // stored (a control character, a deal date that is no date, a text too long); the rows
    // before it stay in the dataset.
    int read(WorkbookReader& sheet, DataSet& dataSet, std::string_view period,
             std::string_view target, const std::string& today,
             std::vector<CellChange>& changes) const;
};

}  // namespace tarvelo
