#pragma once

#include <string>
#include <string_view>

#include "data/FieldDef.h"
#include "text/DateTime.h"

namespace tarvelo {

class DataSet;

// The column object of an open dataset: a light handle (dataset and position) for reading and
// writing that column in the current row. Valid until the dataset is loaded again or closed.
class Field {
public:
    Field(DataSet& dataSet, std::size_t index) : m_dataSet(&dataSet), m_index(index) {}

    std::size_t index() const { return m_index; }
    const FieldDef& def() const;
    const std::string& name() const { return def().name; }

    bool isNull() const;
    // Null reads as empty text; dates in the short date form.
    std::string asText() const;
    // Into the row being edited or appended; empty text makes the value null. A value the
    // column cannot hold throws tarvelo::Error naming the column.
    void setText(std::string_view text);       // empty text: null
    void setExactText(std::string_view text);  // an empty text stays empty, not null
    void setDateTime(const DateTime& value);
    void clear();

    // For grids: characters to show, and the display format of numbers (empty: as stored).
    int displayWidth() const;
    void setDisplayWidth(int chars);
    const std::string& displayFormat() const;
    void setDisplayFormat(std::string format);

private:
    DataSet* m_dataSet;
    std::size_t m_index;
};

}  // namespace tarvelo
