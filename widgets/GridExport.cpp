#include "widgets/GridExport.h"

#include <QHeaderView>
#include <QItemSelectionModel>

#include <algorithm>
#include <filesystem>
#include <set>

#include "app/Application.h"
#include "app/ClientSettings.h"
#include "data/DataPacket.h"
#include "data/DataSet.h"
#include "platform/Platform.h"
#include "text/Error.h"
#include "widgets/DBGrid.h"
#include "widgets/DataSource.h"
#include "workbook/XlsxTableWriter.h"

namespace tarvelo {

namespace {

// Price columns hold text ("面议" beside numbers): their numbers go as numbers all the same.
const std::set<std::string> kPriceFields = {"XXJ", "CJJ", "MMJ", "CSJ", "DEJ"};

XlsxTableWriter::Kind kindOf(const DataSet& ds, std::optional<std::size_t> field) {
    if (!field) return XlsxTableWriter::Kind::Text;
    const FieldDef& f = ds.fields().at(*field);
    switch (f.type) {
        case FieldType::Int8:
        case FieldType::Int16:
        case FieldType::Int32:
        case FieldType::Int64:
        case FieldType::UInt8:
        case FieldType::UInt16:
        case FieldType::UInt32:
        case FieldType::Double:
        case FieldType::Fixed:
            return XlsxTableWriter::Kind::Number;
        case FieldType::Date:
        case FieldType::DateTime:
            return XlsxTableWriter::Kind::Date;
        default:
            return kPriceFields.count(upperName(f.name)) ? XlsxTableWriter::Kind::Number
                                                         : XlsxTableWriter::Kind::Text;
    }
}

}  // namespace

std::string& GridExport::lastFolder() {
    static std::string folder = ClientSettings::folder(QStringLiteral("export"));
    return folder;
}

void GridExport::toExcel(TDBGrid& grid) {
    TDataSource* source = grid.dataSource();
    if (!source || !source->dataSet().active()) return;
    const DataSet& ds = source->dataSet();
    QHeaderView* header = grid.horizontalHeader();

    std::vector<int> columns;  // logical, in the order shown
    for (int v = 0; v < header->count(); ++v) {
        const int logical = header->logicalIndex(v);
        if (!grid.isColumnHidden(logical)) columns.push_back(logical);
    }
    std::vector<int> rows;
    const auto selected = grid.selectionModel()->selectedRows();
    if (selected.size() > 1)
        for (const auto& index : selected)
            rows.push_back(index.row());
    else
        for (int r = 0; r < grid.model()->rowCount(); ++r)
            rows.push_back(r);
    std::sort(rows.begin(), rows.end());

    std::string name = grid.gridName().toStdString();
    const auto path =
        platform().saveFile("Excel 工作簿 (*.xlsx)", lastFolder(),
                            (name.empty() ? std::string("导出") : name) + ".xlsx", "xlsx");
    if (!path) return;
    lastFolder() = std::filesystem::path(*path).parent_path().string();
    ClientSettings::setFolder(QStringLiteral("export"), lastFolder());

    std::vector<XlsxTableWriter::Column> out;
    for (int c : columns) {
        const QString title = source->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        out.push_back({title.toStdString(), kindOf(ds, source->fieldOf(c)),
                       std::max(4.0, grid.columnWidth(c) / 7.0)});
    }
    std::vector<XlsxTableWriter::Row> table;
    table.reserve(rows.size());
    for (int r : rows) {
        XlsxTableWriter::Row row;
        for (int c : columns)
            row.push_back(grid.model()->index(r, c).data().toString().toStdString());
        table.push_back(std::move(row));
    }
    // Written beside the chosen name first: a failure leaves the file that was there untouched.
    const std::string partial = *path + ".partial.xlsx";
    try {
        XlsxTableWriter::write(partial, name, out, table);
        std::filesystem::rename(partial, *path);
    } catch (const Error& e) {
        std::error_code ignored;
        std::filesystem::remove(partial, ignored);
        platform().message(e.message() + "\n" + e.detail());
        return;
    } catch (const std::filesystem::filesystem_error& e) {
        std::error_code ignored;
        std::filesystem::remove(partial, ignored);
        platform().message("无法写入 Excel 文件“" + *path + "”。\n" + e.what());
        return;
    }
    platform().information("已导出 " + std::to_string(table.size()) + " 行到“" + *path + "”。");
}

}  // namespace tarvelo
