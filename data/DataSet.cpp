#include "data/DataSet.h"

#include <algorithm>
#include <utility>

#include "data/DataPacket.h"
#include "data/PacketWriter.h"
#include "text/Error.h"
#include "text/Trim.h"

namespace tarvelo {

namespace {

std::string quoted(std::string_view name) {
    return "“" + std::string(name) + "”";
}

std::string valueText(const FieldDef& def, std::optional<std::string_view> value) {
    if (!value) return {};
    if (def.type == FieldType::Date) {
        if (const auto d = Date::fromCompact(*value)) return d->shortText();
    } else if (def.type == FieldType::DateTime) {
        if (const auto dt = DateTime::fromPacket(*value)) return dt->shortText();
    }
    return std::string(*value);
}

[[noreturn]] void refuse(const FieldDef& def, std::string_view text, const std::string& expected) {
    throw Error("字段" + quoted(def.name) + "需要" + expected + "，" + quoted(excerpt(text)) +
                    "不是有效的值。",
                "字段类型 " + def.typeName);
}

// `text` in the packet form of the column's type, or a refusal naming the column.
std::string packetValue(const FieldDef& def, std::string_view text) {
    switch (def.type) {
        case FieldType::String:
        case FieldType::WideString: {
            const std::size_t size = def.storedSize(text);
            if (def.width > 0 && size > static_cast<std::size_t>(def.width)) {
                const char* unit = def.type == FieldType::String
                                       ? "字节（代码页 936，汉字占 2 字节）"
                                       : "字节（UTF-16，每字占 2 字节）";
                throw Error("字段" + quoted(def.name) + "的值太长：最多 " +
                                std::to_string(def.width) + " " + unit + "，这个值占 " +
                                std::to_string(size) + " 字节。",
                            "值：" + quoted(excerpt(text)));
            }
            return std::string(text);
        }
        case FieldType::Int8:
        case FieldType::Int16:
        case FieldType::Int32:
        case FieldType::Int64:
        case FieldType::UInt8:
        case FieldType::UInt16:
        case FieldType::UInt32: {
            std::string_view v = trim(text);
            if (v.size() > 1 && v[0] == '+' && v[1] >= '0' && v[1] <= '9') v.remove_prefix(1);
            if (!def.acceptsPacketValue(v)) {
                static const char* const kRanges[] = {
                    "-128 到 127 的整数", "-32768 到 32767 的整数", "32 位整数",      "64 位整数",
                    "0 到 255 的整数",    "0 到 65535 的整数",      "32 位无符号整数"};
                refuse(def, text,
                       kRanges[static_cast<int>(def.type) - static_cast<int>(FieldType::Int8)]);
            }
            return std::string(v);
        }
        case FieldType::Double:
        case FieldType::Fixed: {
            const std::string_view v = trim(text);
            if (!def.acceptsPacketValue(v)) refuse(def, text, "数值");
            return std::string(v);
        }
        case FieldType::Boolean: {
            const std::string v = upperName(trim(text));
            if (v == "TRUE" || v == "1") return "TRUE";
            if (v == "FALSE" || v == "0") return "FALSE";
            refuse(def, text, "真假值（TRUE 或 FALSE）");
        }
        case FieldType::Date:
            if (const auto d = Date::fromText(text)) return d->compact();
            refuse(def, text, "日期（如 2026-12-10、2026/12/10、2026.12.10 或 20261210）");
        case FieldType::DateTime:
            if (const auto dt = DateTime::fromText(text)) return dt->packetText();
            refuse(def, text, "日期时间（如 2026-12-10 08:30:00）");
        case FieldType::Other:
            break;
    }
    return std::string(text);
}

int defaultDisplayWidth(const FieldDef& def) {
    switch (def.type) {
        case FieldType::String:
            return def.width > 0 ? def.width : 20;
        case FieldType::WideString:
            return def.width > 0 ? def.width / 2 : 20;
        case FieldType::Int64:
            return 20;
        case FieldType::Boolean:
            return 5;
        case FieldType::DateTime:
            return 19;
        default:
            return 10;
    }
}

}  // namespace

// ---- lifecycle

void DataSet::loadPacket(std::string_view text) {
    DataPacket packet;
    try {
        packet = DataPacket::parse(text);
    } catch (...) {
        close();
        throw;
    }
    loadPacket(std::move(packet));
}

void DataSet::loadPacket(DataPacket packet) {
    resetTo(std::move(packet.fields), std::move(packet.rows), packet.rowStates, packet.delta);
}

void DataSet::close() {
    if (m_state == State::Inactive && m_fields.empty()) return;
    notify(DataSetEvent::Kind::BeforeReset);
    m_state = State::Inactive;
    m_fields.clear();
    m_fieldIndex.clear();
    m_display.clear();
    m_delta = false;
    m_rows.clear();
    m_meta.clear();
    m_editBuffer = Row();
    m_log.clear();
    m_liveChanges = 0;
    m_current = 0;
    m_eof = true;
    notify(DataSetEvent::Kind::AfterReset);
}

void DataSet::resetTo(std::vector<FieldDef> fields, std::vector<Row> rows,
                      const std::vector<RowState>& states, bool delta) {
    notify(DataSetEvent::Kind::BeforeReset);
    m_fields = std::move(fields);
    m_fieldIndex.clear();
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        m_fieldIndex.emplace(upperName(m_fields[i].name), i);
    m_display.assign(m_fields.size(), Display{});
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        m_display[i].width = defaultDisplayWidth(m_fields[i]);
    m_delta = delta;
    m_rows = std::move(rows);
    m_meta.resize(m_rows.size());
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        m_meta[i] = RowMeta{static_cast<std::uint32_t>(i), -1,
                            i < states.size() ? states[i] : RowState::None};
    m_nextId = static_cast<std::uint32_t>(m_rows.size());
    m_editBuffer = Row();
    m_log.clear();
    m_liveChanges = 0;
    m_state = State::Browse;
    m_current = 0;
    m_eof = m_rows.empty();
    notify(DataSetEvent::Kind::AfterReset);
    if (!m_rows.empty()) notify(DataSetEvent::Kind::CurrentChanged, 0);
}

// ---- columns

void DataSet::requireActive() const {
    if (m_state == State::Inactive) throw Error("数据集没有打开。");
}

const FieldDef& DataSet::column(std::size_t index) const {
    requireActive();
    if (index >= m_fields.size())
        throw Error("数据集中没有第 " + std::to_string(index + 1) + " 个字段。",
                    "字段数 " + std::to_string(m_fields.size()));
    return m_fields[index];
}

Field DataSet::field(std::size_t index) {
    column(index);
    return Field(*this, index);
}

std::optional<std::size_t> DataSet::findField(std::string_view name) const {
    const auto it = m_fieldIndex.find(upperName(name));
    if (it == m_fieldIndex.end()) return std::nullopt;
    return it->second;
}

Field DataSet::fieldByName(std::string_view name) {
    requireActive();
    const auto index = findField(name);
    if (!index) throw Error("数据集中没有字段" + quoted(name) + "。");
    return Field(*this, *index);
}

// ---- navigation

void DataSet::setCurrent(std::optional<std::size_t> row) {
    if (!row) return;
    m_current = *row;
    notify(DataSetEvent::Kind::CurrentChanged, *row);
}

std::optional<std::size_t> DataSet::currentRow() const {
    if (m_rows.empty()) return std::nullopt;
    return m_current;
}

void DataSet::first() {
    requireActive();
    checkBrowse();
    m_eof = m_rows.empty();
    if (!m_rows.empty()) setCurrent(0);
}

void DataSet::next() {
    requireActive();
    checkBrowse();
    if (m_current + 1 < m_rows.size()) {
        setCurrent(m_current + 1);
    } else {
        m_eof = true;
    }
}

void DataSet::moveTo(std::size_t row) {
    requireActive();
    checkBrowse();
    if (row >= m_rows.size())
        throw Error("数据集中没有第 " + std::to_string(row + 1) + " 行。",
                    "行数 " + std::to_string(m_rows.size()));
    m_eof = false;
    setCurrent(row);
}

// ---- values

const Row& DataSet::currentValues() const {
    return m_state == State::Edit || m_state == State::Insert ? m_editBuffer : m_rows[m_current];
}

std::string DataSet::text(std::size_t index) const {
    const FieldDef& def = column(index);
    if (m_rows.empty()) return {};
    return valueText(def, currentValues().get(index));
}

bool DataSet::isNull(std::size_t index) const {
    column(index);
    if (m_rows.empty()) return true;
    return currentValues().isNull(index);
}

std::string DataSet::displayText(std::size_t row, std::size_t index) const {
    return valueText(column(index), m_rows.at(row).get(index));
}

void DataSet::requireEditing(std::size_t index) const {
    const FieldDef& def = column(index);
    if (m_state != State::Edit && m_state != State::Insert)
        throw Error("数据集不在编辑状态，不能写入字段" + quoted(def.name) + "。");
}

void DataSet::setText(std::size_t index, std::string_view text) {
    requireEditing(index);
    if (text.empty()) {
        m_editBuffer.set(index, std::nullopt);
        return;
    }
    m_editBuffer.set(index, packetValue(m_fields[index], text));
}

void DataSet::setExactText(std::size_t index, std::string_view text) {
    requireEditing(index);
    const FieldType type = m_fields[index].type;
    if (text.empty() && (type == FieldType::String || type == FieldType::WideString)) {
        m_editBuffer.set(index, std::string_view());
        return;
    }
    setText(index, text);
}

void DataSet::setDateTime(std::size_t index, const DateTime& value) {
    requireEditing(index);
    const FieldDef& def = m_fields[index];
    // Only real instants are stored: anything else would write a packet no one can load.
    const DateTime& v = value;
    if (!Date::isValid(v.date.year, v.date.month, v.date.day) || v.hour < 0 || v.hour > 23 ||
        v.minute < 0 || v.minute > 59 || v.second < 0 || v.second > 59 || v.millisecond < 0 ||
        v.millisecond > 999)
        throw Error("字段" + quoted(def.name) + "不能保存无效的日期时间。",
                    "值：" + std::to_string(v.date.year) + "-" + std::to_string(v.date.month) +
                        "-" + std::to_string(v.date.day) + " " + std::to_string(v.hour) + ":" +
                        std::to_string(v.minute) + ":" + std::to_string(v.second) + "." +
                        std::to_string(v.millisecond));
    switch (def.type) {
        case FieldType::Date:
            m_editBuffer.set(index, value.date.compact());
            return;
        case FieldType::DateTime:
            m_editBuffer.set(index, value.packetText());
            return;
        case FieldType::String:
        case FieldType::WideString:
            setText(index, value.shortText());
            return;
        default:
            throw Error("字段" + quoted(def.name) + "不能保存日期。", "字段类型 " + def.typeName);
    }
}

void DataSet::setNull(std::size_t index) {
    requireEditing(index);
    m_editBuffer.set(index, std::nullopt);
}

// ---- editing

void DataSet::checkBrowse() {
    if (m_state == State::Edit || m_state == State::Insert) post();
}

void DataSet::append() {
    requireActive();
    checkBrowse();
    const std::size_t at = m_rows.size();
    notify(DataSetEvent::Kind::BeforeInsert, at);
    m_rows.emplace_back(m_fields.size());
    m_meta.push_back(RowMeta{m_nextId++, -1, RowState::None});
    notify(DataSetEvent::Kind::AfterInsert, at);
    m_editBuffer = Row(m_fields.size());
    m_state = State::Insert;
    m_eof = false;
    setCurrent(at);
}

void DataSet::edit() {
    requireActive();
    if (m_state == State::Edit || m_state == State::Insert) return;
    if (m_rows.empty()) throw Error("数据集中没有记录，无法编辑。");
    m_editBuffer = m_rows[m_current];
    m_state = State::Edit;
}

void DataSet::post() {
    if (m_state != State::Edit && m_state != State::Insert) return;
    const std::size_t at = m_current;
    const bool inserting = m_state == State::Insert;
    m_state = State::Browse;
    if (inserting) {
        m_rows[at] = std::move(m_editBuffer);
        if (m_logChanges) addChange(at, Change::Inserted, Row());
    } else {
        if (m_editBuffer == m_rows[at]) return;
        Row before = std::exchange(m_rows[at], std::move(m_editBuffer));
        const std::int32_t entry = m_meta[at].change;
        if (m_logChanges && entry < 0) {
            addChange(at, Change::Modified, std::move(before));
        } else if (entry >= 0 && m_log[entry].change == Change::Modified &&
                   m_log[entry].base == m_rows[at]) {
            dropChange(at);  // edited back to the values as loaded: nothing left to send
        }
    }
    m_editBuffer = Row();
    notify(DataSetEvent::Kind::RowChanged, at);
}

void DataSet::cancel() {
    if (m_state == State::Insert) {
        m_state = State::Browse;
        m_editBuffer = Row();
        removeRow(m_current);
    } else if (m_state == State::Edit) {
        m_state = State::Browse;
        m_editBuffer = Row();
    }
}

void DataSet::deleteRow() {
    requireActive();
    if (m_state == State::Insert) {
        cancel();
        return;
    }
    cancel();
    if (m_rows.empty()) throw Error("数据集中没有记录，无法删除。");
    const std::size_t at = m_current;
    const std::int32_t entry = m_meta[at].change;
    if (entry >= 0) {
        const Change was = m_log[entry].change;
        Row base = std::move(m_log[entry].base);
        dropChange(at);
        // A deleted insertion leaves nothing to send; a deleted modification sends the row as
        // it was loaded.
        if (was == Change::Modified && m_logChanges)
            addChange(at, Change::Deleted, std::move(base));
    } else if (m_logChanges) {
        addChange(at, Change::Deleted, m_rows[at]);
    }
    removeRow(at);
}

void DataSet::removeRow(std::size_t row) {
    notify(DataSetEvent::Kind::BeforeRemove, row);
    m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(row));
    m_meta.erase(m_meta.begin() + static_cast<std::ptrdiff_t>(row));
    // The current row is valid again before anyone hears of the removal and reads the dataset.
    m_eof = m_rows.empty();
    m_current = m_rows.empty() ? 0 : std::min(row, m_rows.size() - 1);
    notify(DataSetEvent::Kind::AfterRemove, row);
    if (!m_rows.empty()) setCurrent(m_current);
}

// ---- change log

void DataSet::addChange(std::size_t row, Change change, Row base) {
    m_log.push_back(LogEntry{change, true, m_meta[row].id, std::move(base)});
    // Deleted rows leave m_meta, so only their log entry remembers them.
    m_meta[row].change =
        change == Change::Deleted ? -1 : static_cast<std::int32_t>(m_log.size() - 1);
    ++m_liveChanges;
}

void DataSet::dropChange(std::size_t row) {
    const std::int32_t entry = m_meta[row].change;
    if (entry < 0) return;
    m_log[entry].live = false;
    m_log[entry].base = Row();
    m_meta[row].change = -1;
    --m_liveChanges;
}

DataSet::ChangeCounts DataSet::changeCounts() const {
    ChangeCounts counts;
    for (const LogEntry& e : m_log) {
        if (!e.live) continue;
        (e.change == Change::Inserted   ? counts.inserted
         : e.change == Change::Modified ? counts.modified
                                        : counts.deleted)++;
    }
    return counts;
}

std::optional<std::string> DataSet::delta() {
    requireActive();
    checkBrowse();
    if (m_liveChanges == 0) return std::nullopt;
    std::unordered_map<std::uint32_t, std::size_t> position;
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (m_meta[i].change >= 0) {
            position.emplace(m_meta[i].id, i);
            bytes += m_rows[i].byteSize();
        }
    }
    for (const auto& e : m_log)
        bytes += e.base.byteSize();
    PacketWriter writer(m_fields, true,
                        PacketWriter::estimate(m_fields.size(), m_liveChanges * 2, bytes));
    for (const auto& e : m_log) {
        if (!e.live) continue;
        switch (e.change) {
            case Change::Inserted:
                writer.row(m_rows[position.at(e.rowId)], RowState::Inserted);
                break;
            case Change::Modified:
                writer.row(e.base, RowState::Original);
                writer.changes(m_rows[position.at(e.rowId)], e.base);
                break;
            case Change::Deleted:
                writer.row(e.base, RowState::Deleted);
                break;
        }
    }
    return writer.finish();
}

void DataSet::mergeChangeLog() {
    requireActive();
    checkBrowse();
    m_log.clear();
    m_liveChanges = 0;
    for (auto& meta : m_meta)
        meta.change = -1;
}

std::string DataSet::packetText() {
    requireActive();
    checkBrowse();
    std::size_t bytes = 0;
    for (const auto& r : m_rows)
        bytes += r.byteSize();
    PacketWriter writer(m_fields, m_delta,
                        PacketWriter::estimate(m_fields.size(), m_rows.size(), bytes));
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        writer.row(m_rows[i], m_meta[i].packetState);
    return writer.finish();
}

// ---- display properties

int DataSet::displayWidth(std::size_t index) const {
    column(index);
    return m_display[index].width;
}

void DataSet::setDisplayWidth(std::size_t index, int chars) {
    column(index);
    m_display[index].width = chars;
}

const std::string& DataSet::displayFormat(std::size_t index) const {
    column(index);
    return m_display[index].format;
}

void DataSet::setDisplayFormat(std::size_t index, std::string format) {
    column(index);
    m_display[index].format = std::move(format);
}

// ---- listeners

int DataSet::subscribe(Listener listener) {
    m_listeners.emplace_back(m_nextListener, std::move(listener));
    return m_nextListener++;
}

void DataSet::unsubscribe(int id) {
    std::erase_if(m_listeners, [id](const auto& l) { return l.first == id; });
}

void DataSet::notify(DataSetEvent::Kind kind, std::size_t row) {
    if (m_listeners.empty()) return;
    const auto listeners = m_listeners;  // a listener may unsubscribe while being told
    for (const auto& [id, listener] : listeners)
        listener(DataSetEvent{kind, row});
}

}  // namespace tarvelo
