#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "data/DataPacket.h"
#include "data/DataSetEvent.h"
#include "data/Field.h"
#include "data/FieldDef.h"
#include "data/Row.h"
#include "data/RowState.h"
#include "text/DateTime.h"

namespace tarvelo {

// An in-memory dataset: typed columns, rows, a current row, row editing and a change log of
// every insertion, modification and deletion since the last load or merge, from which the delta
// packet is made. Single-threaded. Values are kept in the packet's value forms; reading as text
// converts dates to the short date form.
//
// Editing follows the usual protocol: append() or edit(), write fields, post() (or cancel()).
// Moving the current row, taking the packet or the delta, and merging post a pending edit first.
class DataSet {
public:
    enum class State { Inactive, Browse, Edit, Insert };
    using Listener = std::function<void(const DataSetEvent&)>;

    DataSet() = default;
    DataSet(const DataSet&) = delete;
    DataSet& operator=(const DataSet&) = delete;

    // Replaces columns and rows with those of the packet: current row first, change log empty,
    // open. A delta packet keeps its rows' RowState, so that it writes back as it was loaded.
    // Throws tarvelo::Error for text that is not a data packet; the dataset is closed then.
    void loadPacket(std::string_view text);
    // The same for a packet read already (a PacketStream's).
    void loadPacket(DataPacket packet);
    void close();
    bool active() const { return m_state != State::Inactive; }
    State state() const { return m_state; }

    // Columns
    const std::vector<FieldDef>& fields() const { return m_fields; }
    std::size_t fieldCount() const { return m_fields.size(); }
    Field field(std::size_t index);
    Field fieldByName(std::string_view name);  // ASCII case ignored; throws when absent
    std::optional<std::size_t> findField(std::string_view name) const;

    // Rows and navigation
    std::size_t recordCount() const { return m_rows.size(); }
    void first();
    void next();
    bool eof() const { return m_eof; }
    // Position of the current row; nullopt when there are no rows.
    std::optional<std::size_t> currentRow() const;
    void moveTo(std::size_t row);

    // Values of the current row (the edit buffer while editing)
    std::string text(std::size_t column) const;
    bool isNull(std::size_t column) const;
    void setText(std::size_t column, std::string_view text);  // empty text: null
    // As setText, but an empty text of a text column stays an empty text, not null.
    void setExactText(std::size_t column, std::string_view text);
    void setDateTime(std::size_t column, const DateTime& value);
    void setNull(std::size_t column);
    // Any row as the user sees it, for grids.
    std::string displayText(std::size_t row, std::size_t column) const;
    const Row& row(std::size_t row) const { return m_rows.at(row); }

    // Editing
    void append();
    void edit();
    void post();
    void cancel();
    void deleteRow();  // the current row

    // Change log
    void setLogChanges(bool on) { m_logChanges = on; }
    bool logChanges() const { return m_logChanges; }
    std::size_t changeCount() const { return m_liveChanges; }
    // Whether the row at `row` is a pending insertion or modification.
    bool hasPendingChange(std::size_t row) const { return m_meta.at(row).change >= 0; }
    // The pending changes by kind; they add up to changeCount().
    struct ChangeCounts {
        std::size_t inserted = 0;
        std::size_t modified = 0;
        std::size_t deleted = 0;
    };
    ChangeCounts changeCounts() const;
    // The change log as a delta packet; nullopt when nothing is pending.
    std::optional<std::string> delta();
    void mergeChangeLog();
    // The current content as packet text.
    std::string packetText();

    // Display properties of columns, for grids; reset by every load.
    int displayWidth(std::size_t column) const;
    void setDisplayWidth(std::size_t column, int chars);
    const std::string& displayFormat(std::size_t column) const;
    void setDisplayFormat(std::size_t column, std::string format);

    int subscribe(Listener listener);
    void unsubscribe(int id);

private:
    struct RowMeta {
        std::uint32_t id;                       // stable identity, for the change log
        std::int32_t change = -1;               // index of its live change-log entry, or -1
        RowState packetState = RowState::None;  // as loaded from a delta packet
    };
    enum class Change : std::uint8_t { Inserted, Modified, Deleted };
    struct LogEntry {
        Change change;
        bool live = true;  // false once superseded (a deleted insertion, a reverted edit)
        std::uint32_t rowId;
        Row base;  // values as loaded: Modified and Deleted only
    };
    struct Display {
        int width = 0;
        std::string format;
    };

    void requireActive() const;
    void requireEditing(std::size_t column) const;
    const FieldDef& column(std::size_t index) const;
    const Row& currentValues() const;
    void checkBrowse();
    void setCurrent(std::optional<std::size_t> row);
    void addChange(std::size_t row, Change change, Row base);
    void dropChange(std::size_t row);
    void removeRow(std::size_t row);
    void notify(DataSetEvent::Kind kind, std::size_t row = 0);
    void resetTo(std::vector<FieldDef> fields, std::vector<Row> rows,
                 const std::vector<RowState>& states, bool delta);

    State m_state = State::Inactive;
    std::vector<FieldDef> m_fields;
    std::unordered_map<std::string, std::size_t> m_fieldIndex;  // upper-case name
    std::vector<Display> m_display;
    bool m_delta = false;

    std::vector<Row> m_rows;
    std::vector<RowMeta> m_meta;  // parallel to m_rows
    std::uint32_t m_nextId = 0;
    std::size_t m_current = 0;  // meaningful when there are rows
    bool m_eof = true;

    Row m_editBuffer;

    bool m_logChanges = true;
    std::vector<LogEntry> m_log;
    std::size_t m_liveChanges = 0;

    std::vector<std::pair<int, Listener>> m_listeners;
    int m_nextListener = 1;
};

}  // namespace tarvelo
