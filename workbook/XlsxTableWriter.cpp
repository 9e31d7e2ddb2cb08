#include "workbook/XlsxTableWriter.h"

#include <xlsxwriter.h>

#include <charconv>
#include <cmath>
#include <memory>

#include "text/CNumericLocale.h"
#include "text/Date.h"
#include "text/Error.h"

namespace tarvelo {

namespace {

std::optional<double> number(const std::string& text) {
    if (text.empty() || text.size() > 20) return std::nullopt;
    // A code with a leading zero ("0101") is text, as a spreadsheet would keep it.
    const std::size_t digits = text[0] == '-' ? 1 : 0;
    if (text.size() > digits + 1 && text[digits] == '0' && text[digits + 1] != '.')
        return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<Date> date(const std::string& text) {
    return text.size() == 8 ? Date::fromCompact(text) : Date::fromText(text);
}

struct WorkbookCloser {
    void operator()(lxw_workbook* w) const {
        if (w) workbook_close(w);
    }
};

}  // namespace

void XlsxTableWriter::write(const std::string& path, const std::string& sheetName,
                            const std::vector<Column>& columns, const std::vector<Row>& rows) {
    const auto failed = [&](const std::string& detail) {
        return Error("无法写入 Excel 文件“" + path + "”。请确认文件没有在别的程序中打开，" +
                         "并且这个文件夹可以写入。",
                     detail);
    };
    // libxlsxwriter writes numbers and widths with printf: in the C notation, or a computer
    // with a decimal comma would get "-3,25" in the file. Held until the file is closed.
    const CNumericLocale cNumbers;
    lxw_workbook_options options{};
    options.constant_memory = LXW_FALSE;
    options.tmpdir = nullptr;
    lxw_workbook* book = workbook_new_opt(path.c_str(), &options);
    if (!book) throw failed("workbook_new");
    std::unique_ptr<lxw_workbook, WorkbookCloser> closer(book);
    // A name the format does not allow (too long, or with []:*?/\) leaves the default "Sheet1".
    lxw_worksheet* sheet = nullptr;
    if (!sheetName.empty() && workbook_validate_sheet_name(book, sheetName.c_str()) == LXW_NO_ERROR)
        sheet = workbook_add_worksheet(book, sheetName.c_str());
    if (!sheet) sheet = workbook_add_worksheet(book, nullptr);
    if (!sheet) throw failed("workbook_add_worksheet");
    lxw_format* title = workbook_add_format(book);
    format_set_bold(title);
    lxw_format* day = workbook_add_format(book);
    format_set_num_format(day, "yyyy-mm-dd");

    for (std::size_t c = 0; c < columns.size(); ++c) {
        const auto col = static_cast<lxw_col_t>(c);
        worksheet_set_column(sheet, col, col, columns[c].width, nullptr);
        worksheet_write_string(sheet, 0, col, columns[c].title.c_str(), title);
    }
    worksheet_freeze_panes(sheet, 1, 0);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const auto row = static_cast<lxw_row_t>(r + 1);
        for (std::size_t c = 0; c < columns.size() && c < rows[r].size(); ++c) {
            const auto& value = rows[r][c];
            if (!value || value->empty()) continue;
            const auto col = static_cast<lxw_col_t>(c);
            lxw_error e = LXW_NO_ERROR;
            if (const auto n = columns[c].kind == Kind::Number ? number(*value) : std::nullopt) {
                e = worksheet_write_number(sheet, row, col, *n, nullptr);
            } else if (const auto d = columns[c].kind == Kind::Date ? date(*value) : std::nullopt) {
                lxw_datetime when{d->year, d->month, d->day, 0, 0, 0};
                e = worksheet_write_datetime(sheet, row, col, &when, day);
            } else {
                e = worksheet_write_string(sheet, row, col, value->c_str(), nullptr);
            }
            if (e != LXW_NO_ERROR) throw failed(lxw_strerror(e));
        }
    }
    const lxw_error e = workbook_close(closer.release());
    if (e != LXW_NO_ERROR) throw failed(lxw_strerror(e));
}

}  // namespace tarvelo
