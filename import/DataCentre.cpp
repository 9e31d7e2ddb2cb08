// The data centre of the main window: the import pages, the update command that replaces an
// import unit by a workbook's rows, the review of stored rows, the target pick list, the import
// period and the workbook templates.
#include <QCalendarWidget>
#include <QDateEdit>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <filesystem>
#include <fstream>
#include <functional>

#include "accounts/Unit_ProcGrant.h"
#include "app/ActionGuard.h"
#include "app/Application.h"
#include "app/ClientSettings.h"
#include "app/Globals.h"
#include "browser/KVR_Main.h"
#include "data/ReferenceList.h"
#include "import/ImportUnit.h"
#include "platform/Platform.h"
#include "service/IISdm.h"
#include "text/Date.h"
#include "text/Error.h"
#include "text/StatementBuffer.h"
#include "text/WireText.h"
#include "widgets/DBGrid.h"
#include "widgets/DataSource.h"
#include "widgets/FormParts.h"
#include "widgets/Pictures.h"
#include "workbook/Templates.h"
#include "workbook/WorkbookReader.h"

namespace tarvelo {

namespace {

// Both workbook formats under the first entry, which the dialog shows; each alone after it.
constexpr std::string_view kWorkbookFilter =
    "Excel 工作簿 (*.xls *.xlsx);;*.xls (*.xls);;*.xlsx (*.xlsx)";
// At most this many cells are listed in a question; the rest are counted.
constexpr std::size_t kListedCells = 12;

// "202612" as the user reads it: "2026年12月".
std::string periodText(const std::string& period) {
    if (period.size() != 6) return period;
    return period.substr(0, 4) + "年" + std::to_string(std::stoi(period.substr(4, 2))) + "月";
}

// The unit a replacement covers, for the confirmation: "2026年12月 信息价 “东城区”".
std::string unitText(Category page, const std::string& period, const std::string& target) {
    std::string s = periodText(period) + " " + std::string(priceTable(page).title);
    return page == Category::CJJ ? s + "（所有地区）" : s + " “" + target + "”";
}

// The question before cells are stored otherwise than the workbook holds them.
std::string changesQuestion(const std::vector<CellChange>& changes) {
    std::string text = "工作簿中有 " + std::to_string(changes.size()) +
                       " 个单元格含有无法原样传送到服务器的字符（服务器使用代码页 936）：";
    for (std::size_t i = 0; i < changes.size() && i < kListedCells; ++i) {
        const CellChange& c = changes[i];
        text += "\n" + c.label + "：";
        for (std::size_t k = 0; k < c.flaws.size(); ++k)
            text += (k > 0 ? "，" : "") + WireText::describe(c.flaws[k]);
        text += "，存为“" + excerpt(c.after, 40) + "”";
    }
    if (changes.size() > kListedCells)
        text += "\n……另有 " + std::to_string(changes.size() - kListedCells) + " 个单元格。";
    return text + "\n要按上面的改法导入吗？";
}

// Calls `closed` each time `popup` hides, once the popup has done what it does on hiding (the
// calendar of a date picker sets the picker's date as it hides).
class PopupClosing : public QObject {
public:
    PopupClosing(QWidget* popup, std::function<void()> closed)
        : QObject(popup), m_closed(std::move(closed)) {
        popup->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Hide)
            QMetaObject::invokeMethod(this, m_closed, Qt::QueuedConnection);
        return false;
    }

private:
    std::function<void()> m_closed;
};

}  // namespace

void TKVR_MainForm::buildDataCentre() {
    auto* page = new QVBoxLayout(TS_Admin);
    page->setContentsMargins(0, 0, 0, 0);
    auto* bar = new QWidget(TS_Admin);  // ToolBar1 in CoolBar1
    bar->setFont(kai(20));
    bar->setAutoFillBackground(true);
    QPalette p = bar->palette();
    p.setColor(QPalette::Window, QColor(0xFF, 0xFF, 0xE1));
    bar->setPalette(p);
    auto* rows = new QVBoxLayout(bar);
    auto* row1 = new QHBoxLayout;
    auto* row2 = new QHBoxLayout;
    QueryDBEdit = new QLineEdit(bar);
    QueryDBEdit->setFixedWidth(217);
    QueryDateTimePicker = new QDateEdit(bar);
    QueryDateTimePicker->setDisplayFormat(QStringLiteral("yyyy-MM"));
    QueryDateTimePicker->setCalendarPopup(true);
    // Every closing of the calendar takes the picker's month and empties the grids: a day
    // chosen (also in the month shown), Escape, a click beside it. (A change by keyboard comes
    // as a change of date.)
    new PopupClosing(QueryDateTimePicker->calendarWidget()->window(),
                     [this] { runAction([this] { QueryDateTimePickerCloseUp(); }); });
    QueryDateTimePicker->setFixedWidth(102);
    // Tool-bar buttons show their caption beside their icon.
    const auto toolButton = [bar](const QString& caption, const char* icon) {
        QToolButton* b = button(bar, caption);
        b->setIcon(pictureIcon(QStringLiteral(":/pictures/toolbar/%1.png").arg(icon)));
        b->setIconSize(QSize(24, 24));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        return b;
    };
    QueryTB = toolButton(QStringLiteral(" 查询 "), "query");
    TransferTB = toolButton(QStringLiteral(" 更新数据 "), "transfer");
    RefreshTB = toolButton(QStringLiteral(" 清屏 "), "refresh");
    UserTB = toolButton(QStringLiteral("用户管理"), "users");
    LoadTB = toolButton(QStringLiteral("下载模版"), "load");
    ExitTB = toolButton(QStringLiteral(" 关闭 "), "exit");
    for (QWidget* w :
         {static_cast<QWidget*>(QueryDBEdit), static_cast<QWidget*>(QueryDateTimePicker),
          static_cast<QWidget*>(QueryTB), static_cast<QWidget*>(TransferTB)})
        row1->addWidget(w);
    row1->addStretch();
    for (QToolButton* b : {RefreshTB, UserTB, LoadTB, ExitTB})
        row2->addWidget(b);
    row2->addStretch();
    rows->addLayout(row1);
    rows->addLayout(row2);
    page->addWidget(bar);

    PageControl2 = new QTabWidget(TS_Admin);
    PageControl2->tabBar()->setFont(kai(16, true));
    const auto importPage = [&](QWidget*& w, TDBGrid*& grid, TDataSource*& ds, DataSet& set,
                                Category category, std::vector<GridColumn> cols,
                                const QString& caption) {
        w = new QWidget;
        auto* v = new QVBoxLayout(w);
        v->setContentsMargins(0, 0, 0, 0);
        grid = new TDBGrid(w);
        grid->installWheelRule();
        grid->enableSorting();
        grid->setFont(kai(14));
        priceTable(category).reset(set);
        ds = source(set, this, std::move(cols));
        grid->setDataSource(ds);
        grid->setGridName(QStringLiteral("数据中心·") + caption.trimmed());
        v->addWidget(grid);
        PageControl2->addTab(w, caption);
    };
    importPage(TS_XXJD, XXJDDBGrid, Ds_XXJD, Cds_XXJD, Category::XXJ,
               columns({{"SERIAL", "序号", 0},
                        {"ITEMDESC", "材料名", 180},
                        {"ITEMID", "标准材料编码", 100},
                        {"ZJID", "造价处编码", 80},
                        {"SPECID", "规格", 80},
                        {"MODEL", "型号", 60},
                        {"BRAND", "品牌", 60},
                        {"MATERIAL", "材质", 60},
                        {"UNIT", "计量单位", 60},
                        {"PLACE", "地区", 0},
                        {"XXJ", "信息价", 0}}),
               QStringLiteral("信息价导入"));
    importPage(TS_CJJD, CJJDDBGrid, Ds_CJJD, Cds_CJJD, Category::CJJ,
               columns({{"SERIAL", "序号", 0},
                        {"ITEMDESC", "材料名", 180},
                        {"ITEMID", "标准材料编码", 100},
                        {"SPECID", "规格", 80},
                        {"MODEL", "型号", 60},
                        {"BRAND", "品牌", 60},
                        {"MATERIAL", "材质", 60},
                        {"UNIT", "计量单位", 60},
                        {"CJJ", "成交价", 0},
                        {"PLACE", "地区", 0},
                        {"CJRQ", "成交日期", 0}}),
               QStringLiteral("成交价导入"));
    importPage(TS_MMJD, MMJDDBGrid, Ds_MMJD, Cds_MMJD, Category::MMJ,
               columns({{"SERIAL", "序号", 0},
                        {"ITEMDESC", "材料名", 180},
                        {"ITEMID", "标准材料编码", 100},
                        {"SPECID", "规格", 80},
                        {"MODEL", "型号", 60},
                        {"BRAND", "品牌", 60},
                        {"UNIT", "计量单位", 60},
                        {"PLACE", "地区", 0},
                        {"MMJ", "苗木价", 0}}),
               QStringLiteral("苗木价导入"));
    importPage(TS_CSJD, CSJDDBGrid, Ds_CSJD, Cds_CSJD, Category::CSJ,
               columns({{"SERIAL", "序号", 0},
                        {"ITEMDESC", "材料名", 180},
                        {"ITEMID", "材料编码", 80},
                        {"SPECID", "规格", 80},
                        {"MODEL", "型号", 60},
                        {"BRAND", "品牌", 60},
                        {"MATERIAL", "材质", 60},
                        {"UNIT", "计量单位", 60},
                        {"CSJ", "厂商价", 0},
                        {"VEND", "供应商", 160},
                        {"LINKMAN", "联系人", 0},
                        {"LINKTEL", "联系电话", 117}}),
               QStringLiteral("厂商报价导入"));
    page->addWidget(PageControl2, 1);

    // The pick list floats under the target box, over the pages (fitFloatingLists).
    QueryDBGrid = new TDBGrid(TS_Admin);
    QueryDBGrid->horizontalHeader()->setFont(kai(15, true));
    Ds_Region = source(Cds_Region, this, columns({{"ID", "ID", 80}, {"IDDESC", "IDDESC", 180}}));
    Ds_ICEXT = source(Cds_ICEXT, this, columns({{"ID", "ID", 80}, {"IDDESC", "IDDESC", 180}}));
    QueryDBGrid->setDataSource(Ds_Region);
    QueryDBGrid->hide();
    QueryDBEdit->installEventFilter(this);
}

Category TKVR_MainForm::activeImportPage() const {
    const QWidget* page = PageControl2->currentWidget();
    if (page == TS_XXJD) return Category::XXJ;
    if (page == TS_MMJD) return Category::MMJ;
    if (page == TS_CSJD) return Category::CSJ;
    return Category::CJJ;
}

DataSet& TKVR_MainForm::importDataSet(Category page) {
    DataSet* sets[] = {&Cds_XXJD, &Cds_CJJD, &Cds_MMJD, &Cds_CSJD};
    return *sets[static_cast<int>(page)];
}

void TKVR_MainForm::QueryDateTimePickerCloseUp() {
    // The import period is the picker's date however it changed: a month typed with the
    // keyboard never imports into another month.
    importPeriod =
        Date{QueryDateTimePicker->date().year(), QueryDateTimePicker->date().month(), 1}.period();
    ResetImportDatasets();
}

void TKVR_MainForm::ResetImportDatasets() {
    for (Category c : {Category::XXJ, Category::CJJ, Category::MMJ, Category::CSJ})
        priceTable(c).reset(importDataSet(c));
}

void TKVR_MainForm::showPickList() {
    const Category page = activeImportPage();
    if (page == Category::CJJ) {
        QueryDBGrid->hide();
        return;
    }
    QueryDBGrid->setDataSource(page == Category::CSJ ? Ds_ICEXT : Ds_Region);
    QueryDBGrid->show();
    QueryDBGrid->raise();
}

void TKVR_MainForm::QueryTBClick() {
    const Category page = activeImportPage();
    const std::string target = QueryDBEdit->text().toStdString();
    if (!targetFits(ImportUnit::of(page), target)) return;
    CursorGuard cursor(platform(), Cursor::Hourglass);
    ImportUnit::of(page).storedRows(ADOQuery1, importPeriod, target);
    dataModule().QueryInto(ADOQuery1.text(), importDataSet(page));
}

void TKVR_MainForm::PageControl2Change() {
    QueryDBEdit->clear();
    ResetImportDatasets();
    showPickList();
}

void TKVR_MainForm::QueryDBEditEnter() {
    ResetImportDatasets();
    showPickList();
}

void TKVR_MainForm::QueryDBEditKeyPress(int key) {
    if (QueryDBEdit->text().isEmpty() || key == Qt::Key_Return || key == Qt::Key_Enter ||
        key == Qt::Key_Escape)
        QueryDBGrid->hide();
}

void TKVR_MainForm::QueryDBGridCellClick() {
    // The clicked row is read before the list goes: hiding the focused grid moves its current
    // cell on as Tab would, which from the last column is the next row.
    DataSet& list = QueryDBGrid->dataSource() == Ds_ICEXT ? Cds_ICEXT : Cds_Region;
    std::optional<std::string> picked;
    if (list.active() && list.recordCount() > 0) picked = list.fieldByName("IDDESC").asText();
    // The focus goes to the page's rows, not on through the tool bar (the target box would
    // open the list again).
    if (QWidget* grid = PageControl2->currentWidget()->findChild<TDBGrid*>())
        grid->setFocus(Qt::OtherFocusReason);
    QueryDBGrid->hide();
    if (picked) QueryDBEdit->setText(QString::fromStdString(*picked));
    ResetImportDatasets();
}

void TKVR_MainForm::RefreshTBClick() {
    importDataSet(activeImportPage()).close();
}

void TKVR_MainForm::ExitTBClick() {
    close();
}

bool TKVR_MainForm::targetFits(const ImportUnit& unit, const std::string& target) {
    if (!unit.needsTarget()) return true;  // deal prices: the box plays no part
    std::string refusal = WireText::refusal("导入目标", target);
    if (const auto field = unit.targetField(); refusal.empty() && field) {
        const std::size_t size = field->storedSize(target);
        if (field->width > 0 && size > static_cast<std::size_t>(field->width))
            refusal = "导入目标“" + target + "”太长：最多 " + std::to_string(field->width) +
                      " 字节（代码页 936，汉字占 2 字节），这个目标占 " + std::to_string(size) +
                      " 字节。请改正后再试。";
    }
    if (refusal.empty()) return true;
    platform().message(refusal);
    QueryDBEdit->setFocus(Qt::OtherFocusReason);
    return false;
}

std::optional<int> TKVR_MainForm::ReadImportWorkbook(const std::string& path, Category page,
                                                     const std::string& target,
                                                     std::vector<CellChange>& changes) {
    try {
        const auto sheet = WorkbookReader::open(path);
        return ImportUnit::of(page).read(*sheet, importDataSet(page), importPeriod, target,
                                         Date::today().shortText(), changes);
    } catch (const Error& e) {
        platform().message("打开Excel失败。\n" + e.message());
        return std::nullopt;
    }
}
void TKVR_MainForm::TransferTBClick() {
    Platform& ui = platform();
    const Category page = activeImportPage();
    const ImportUnit& unit = ImportUnit::of(page);
    const PriceTable& table = priceTable(page);
    // 1: the workbook; the dialog may change the working directory, which goes back. It opens
    // where the last workbook was chosen.
    const auto chosen = ui.openFile(kWorkbookFilter, lastWorkbookFolder, "XML");
    QDir::setCurrent(QString::fromStdString(startDirectory));
    if (!chosen || chosen->empty()) return;
    const QFileInfo file(QString::fromStdString(*chosen));
    if (!file.isFile()) return;
    const std::string path = file.absoluteFilePath().toStdString();
    lastWorkbookFolder = file.absolutePath().toStdString();
    ClientSettings::setFolder(QStringLiteral("workbook"), lastWorkbookFolder);
    // 2: the target.
    const std::string target = QueryDBEdit->text().toStdString();
    if (unit.needsTarget() && target.empty()) {
        ui.message(unit.emptyTargetMessage());
        return;
    }
    if (!targetFits(unit, target)) return;
    // 3: the unit's stored rows.
    DataSet& rows = importDataSet(page);
    unit.storedRows(ADOQuery1, importPeriod, target);
    const std::string stored = dataModule().QueryBySQL(ADOQuery1.text());
    rows.loadPacket(stored);
    const std::size_t storedCount = rows.recordCount();
    // When the workbook holds no rows or the user says no, the grid shows the stored rows again;
    // nothing has been sent.
    const auto keepStored = [&] { rows.loadPacket(stored); };

    // 4: the replacement is one change log, which the service applies in one transaction: the
    // deletion of every stored row, then the workbook's rows as insertions. The unit is never
    // left with fewer rows, or other ones, than before, unless the new rows are stored.
    std::vector<CellChange> changes;
    std::optional<int> read;
    {
        CursorGuard cursor(ui, Cursor::Hourglass);
        rows.setLogChanges(true);
        while (rows.recordCount() > 0) {  // from the end: no row moves
            rows.moveTo(rows.recordCount() - 1);
            rows.deleteRow();
        }
        read = ReadImportWorkbook(path, page, target, changes);
    }
    if (!read) return;  // the rows read so far stay in the grid, pending; nothing is sent
    if (*read == 0) {
        keepStored();
        ui.message("工作簿中没有可导入的数据，未作任何更改。");
        return;
    }
    // 5: the user's word before any cell is stored otherwise than the workbook holds it, and
    // before stored rows are replaced.
    if (!changes.empty() && !ui.question(changesQuestion(changes), "温馨提示")) {
        keepStored();
        return;
    }
    if (storedCount > 0 &&
        !ui.question("已有数据，要更新数据吗？\n" + unitText(page, importPeriod, target) +
                         "：已存的 " + std::to_string(storedCount) + " 行将被工作簿中的 " +
                         std::to_string(*read) + " 行替换。",
                     "温馨提示")) {
        keepStored();
        return;
    }
    // 6, 7: the upload; ApplyDelta tells the user how it went.
    CursorGuard cursor(ui, Cursor::Hourglass);
    int result = -1;
    try {
        result = dataModule().ApplyDelta(rows, table.tableName, table.keyList(), "",
                                         "已存入 " + std::to_string(*read) + " 行。");
        if (rows.recordCount() > 0) rows.first();
    } catch (const std::exception& e) {
        ui.message(std::string("操作失败,请重试或与系统管理员联系\n") + e.what());
        return;
    } catch (...) {
        ui.message("操作失败,请重试或与系统管理员联系");
        return;
    }
    if (result == 0) checkReplacedUnit(unit, target, *read);
}

void TKVR_MainForm::checkReplacedUnit(const ImportUnit& unit, const std::string& target, int read) {
    // The delta deletes the rows the existence check found. Another user who stored rows in
    // the same unit meanwhile leaves rows the workbook does not hold; the user hears of it.
    // The upload itself has succeeded: a failure of this check is no failure of the command.
    try {
        StatementBuffer count;
        unit.storedRows(count, importPeriod, target, " Select count(*) AS N ");
        DataSet answer;
        dataModule().QueryInto(count.text(), answer);
        const std::string n = answer.fieldByName("N").asText();
        if (n != std::to_string(read))
            platform().message("注意：" + unitText(unit.category, importPeriod, target) + "现有 " +
                               n + " 行，不是本次存入的 " + std::to_string(read) +
                               " 行：另有用户同时更新了这个单元。请查询核对。");
    } catch (const std::exception&) {
    }
}

void TKVR_MainForm::LoadTBClick() {
    CursorGuard cursor(platform(), Cursor::Hourglass);
    for (const auto& t : workbookTemplates()) {
        const std::string name(t.fileName);
        std::ofstream out(std::filesystem::u8path(name), std::ios::binary | std::ios::trunc);
        const std::string bytes = t.bytes();
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out)
            throw Error("无法写入模板文件“" + name + "”：目录不可写，或文件正被其他程序打开。");
    }
    platform().message("下载成功\n四个模板已写入文件夹：" +
                       QDir::toNativeSeparators(QDir::currentPath()).toStdString());
}

void TKVR_MainForm::UserTBClick() {
    auto* w = new TFrm_ProcGrant(this);
    Frm_ProcGrant = w;
    w->show();
}

}  // namespace tarvelo
