#include "widgets/GridPrinter.h"

#include <QDate>
#include <QFont>
#include <QHeaderView>
#include <QPageLayout>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTextDocument>

#include <filesystem>

#include "app/Application.h"
#include "app/ClientSettings.h"
#include "platform/Platform.h"
#include "widgets/DBGrid.h"
#include "widgets/GridExport.h"

namespace tarvelo {

namespace {

std::vector<int> shownColumns(const TDBGrid& grid) {
    std::vector<int> out;
    const QHeaderView* header = grid.horizontalHeader();
    for (int v = 0; v < header->count(); ++v) {
        const int logical = header->logicalIndex(v);
        if (!grid.isColumnHidden(logical)) out.push_back(logical);
    }
    return out;
}

QString heading(const TDBGrid& grid) {
    const QString what = grid.description().isEmpty() ? grid.gridName() : grid.description();
    return what + QStringLiteral("　　打印日期：") +
           QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
}

// The pages' text: the heading, then the table with its title row marked as the header that
// every page repeats.
QString html(const TDBGrid& grid, const std::vector<int>& columns) {
    const QAbstractItemModel* model = grid.model();
    QString out = QStringLiteral(
                      "<h3>%1</h3><table border='1' cellspacing='0' cellpadding='3' "
                      "width='100%'><thead><tr>")
                      .arg(heading(grid).toHtmlEscaped());
    for (int c : columns)
        out += QStringLiteral("<th>%1</th>")
                   .arg(model->headerData(c, Qt::Horizontal).toString().toHtmlEscaped());
    out += QStringLiteral("</tr></thead><tbody>");
    for (int r = 0; r < model->rowCount(); ++r) {
        out += QStringLiteral("<tr>");
        for (int c : columns)
            out += QStringLiteral("<td>%1</td>")
                       .arg(model->index(r, c).data().toString().toHtmlEscaped());
        out += QStringLiteral("</tr>");
    }
    return out + QStringLiteral("</tbody></table>");
}

}  // namespace

void GridPrinter::print(TDBGrid& grid, QPrinter& printer) {
    const std::vector<int> columns = shownColumns(grid);
    int width = 0;
    for (int c : columns)
        width += grid.columnWidth(c);
    // An upright A4 page holds about 680 of the grid's pixels across.
    printer.setPageOrientation(width > 680 ? QPageLayout::Landscape : QPageLayout::Portrait);
    QTextDocument document;
    // The grid's face, at the size it has on a screen (a size in pixels would print at the
    // printer's dots, a few hundredths of an inch).
    QFont font = grid.font();
    if (font.pixelSize() > 0) font.setPointSizeF(font.pixelSize() * 72.0 / 96.0);
    document.setDefaultFont(font);
    document.setHtml(html(grid, columns));
    // With no page size of its own, the document is laid out on the printer's pages and
    // numbered at their foot.
    document.print(&printer);
}

void GridPrinter::preview(TDBGrid& grid) {
    QPrinter printer(QPrinter::HighResolution);
    QPrintPreviewDialog dialog(&printer, grid.window());
    dialog.setWindowTitle(QStringLiteral("打印预览"));
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested,
                     [&grid](QPrinter* p) { print(grid, *p); });
    dialog.exec();
}

void GridPrinter::toPdf(TDBGrid& grid) {
    const std::string name = grid.gridName().isEmpty() ? "打印" : grid.gridName().toStdString();
    const auto path =
        platform().saveFile("PDF 文件 (*.pdf)", GridExport::lastFolder(), name + ".pdf", "pdf");
    if (!path) return;
    GridExport::lastFolder() = std::filesystem::path(*path).parent_path().string();
    ClientSettings::setFolder(QStringLiteral("export"), GridExport::lastFolder());
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(*path));
    print(grid, printer);
    if (!std::filesystem::exists(*path)) {
        platform().message("无法写入 PDF 文件“" + *path + "”。请确认这个文件夹可以写入。");
        return;
    }
    platform().information("已导出到“" + *path + "”。");
}

}  // namespace tarvelo
