#include "accounts/Unit_ProcGrant.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/ActionGuard.h"
#include "app/Application.h"
#include "platform/Platform.h"
#include "service/IISdm.h"
#include "text/Error.h"
#include "widgets/DBGrid.h"
#include "widgets/DataSource.h"
#include "widgets/UnsavedRowDelegate.h"
#include "widgets/WindowPlacement.h"

namespace tarvelo {

namespace {
constexpr const char* kTick = "√";
}  // namespace

TFrm_ProcGrant::TFrm_ProcGrant(QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("Frm_ProcGrant"));
    setWindowTitle(QStringLiteral("Frm_ProcGrant"));
    resize(992, 667);
    auto* tabs = new QTabWidget(this);
    tabs->setDocumentMode(true);
    auto* page = new QWidget;
    tabs->addTab(page, QStringLiteral("权限管理"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(tabs);
    auto* v = new QVBoxLayout(page);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);
    auto* band = new QWidget(page);
    band->setFixedHeight(32);
    band->setAutoFillBackground(true);
    QPalette p = band->palette();
    p.setColor(QPalette::Window, p.color(QPalette::ToolTipBase));
    band->setPalette(p);
    auto* bar = new QHBoxLayout(band);
    bar->setContentsMargins(2, 2, 2, 2);
    const auto button = [&](const QString& caption, QStyle::StandardPixmap picture) {
        auto* b = new QToolButton(band);
        b->setText(caption);
        b->setIcon(style()->standardIcon(picture));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setFixedSize(97, 26);
        b->setAutoRaise(true);
        return b;
    };
    SaveTB = button(QStringLiteral(" 保存 "), QStyle::SP_DialogSaveButton);
    RefreshTB = button(QStringLiteral(" 刷新  "), QStyle::SP_BrowserReload);
    ExitTB = button(QStringLiteral(" 关闭 "), QStyle::SP_DialogCloseButton);
    bar->addWidget(SaveTB);
    bar->addWidget(RefreshTB);
    bar->addSpacing(12);  // the separator
    bar->addWidget(ExitTB);
    bar->addStretch();
    v->addWidget(band);

    DBGrid1 = new TDBGrid(page);
    DS_UserH = new TDataSource(Cds_UserH, this);
    const QColor plain;  // the style's own title colour
    DS_UserH->setColumns(
        {{QStringLiteral("USERID"), QStringLiteral("用户码"), 69},
         {QStringLiteral("USERNAME"), QStringLiteral("用户名"), 60, Qt::AlignCenter, plain},
         {QStringLiteral("TEL"), QStringLiteral("手机"), 88},
         {QStringLiteral("DBZ1"), QStringLiteral("更新数据权限"), 108},
         {QStringLiteral("DBZ2"), QStringLiteral("用户管理"), 78, Qt::AlignLeft},
         {QStringLiteral("QQ"), QStringLiteral("QQ"), 120, Qt::AlignCenter, plain},
         {QStringLiteral("EMAIL"), QStringLiteral("EMAIL"), 220, Qt::AlignCenter, plain}});
    DBGrid1->setDataSource(DS_UserH);
    DBGrid1->setItemDelegate(new UnsavedRowDelegate(Cds_UserH, DBGrid1));
    v->addWidget(DBGrid1, 1);

    connect(DBGrid1, &QTableView::clicked, this, [this](const QModelIndex& index) {
        runAction([&] { DBGrid1CellClick(index.column()); });
    });
    connect(SaveTB, &QToolButton::clicked, this, [this] { runAction([this] { SaveTBClick(); }); });
    connect(RefreshTB, &QToolButton::clicked, this,
            [this] { runAction([this] { RefreshTBClick(); }); });
    connect(ExitTB, &QToolButton::clicked, this, [this] { runAction([this] { ExitTBClick(); }); });
    WindowPlacement::keepOnScreen(this);

    loadList();
}

TFrm_ProcGrant::~TFrm_ProcGrant() {
    delete DS_UserH;
}  // before the dataset it listens to

void TFrm_ProcGrant::loadList() {
    if (!IISdmPtr) throw Error("数据访问模块已经关闭。");
    ADOQuery1.clear();
    for (const char* line :
         {"with aaa as ", "( ", "SELECT USERID,USERNAME,QQ,EMAIL,SYSBZ,TEL,DATABZ ",
          ",CASE WHEN SubStr(DATABZ,1,1)='1' THEN '√' ELSE  ' ' END AS DBZ1 ",
          ",CASE WHEN SubStr(DATABZ,2,1)='1' THEN '√' ELSE  ' ' END AS DBZ2 ", "FROM KVR_USERH ",
          "Where SYSBZ<>'1' ", "Order By USERID ", ") ",
          "select USERID,USERNAME,QQ,EMAIL,SYSBZ,TEL,DATABZ,DBZ1,DBZ2 ", "from aaa "})
        ADOQuery1.add(line);
    IISdmPtr->QueryInto(ADOQuery1.text(), Cds_UserH);
}

void TFrm_ProcGrant::flip(const char* display, int character) {
    // A list without rows has no account to flip.
    if (!Cds_UserH.active() || Cds_UserH.recordCount() == 0) return;
    const char c = Cds_UserH.fieldByName(display).asText() == kTick ? '0' : '1';
    const std::string old = Cds_UserH.fieldByName("DATABZ").asText();
    std::string roles;
    if (character == 1)
        roles = std::string(1, c) + (old.size() >= 2 ? old.substr(1, 1) : "");
    else
        roles = (old.empty() ? "" : old.substr(0, 1)) + std::string(1, c);
    Cds_UserH.edit();
    Cds_UserH.fieldByName(display).setText(c == '0' ? " " : kTick);
    Cds_UserH.fieldByName("DATABZ").setText(roles);
    Cds_UserH.post();
}

void TFrm_ProcGrant::DBGrid1CellClick(int column) {
    if (column == 3)
        flip("DBZ1", 1);
    else if (column == 4)
        flip("DBZ2", 2);
}

void TFrm_ProcGrant::SaveTBClick() {
    if (!IISdmPtr) throw Error("数据访问模块已经关闭。");
    IISdmPtr->ApplyDelta(Cds_UserH, "KVR_USERH", "USERID", "DBZ1,DBZ2");
    DBGrid1->viewport()->update();  // saved rows lose their colour
}

void TFrm_ProcGrant::RefreshTBClick() {
    Cds_UserH.close();
    loadList();
}

void TFrm_ProcGrant::ExitTBClick() {
    close();
}

void TFrm_ProcGrant::closeEvent(QCloseEvent* event) {
    bool canClose = false;  // a question or a save that failed keeps the window
    runAction([&] { canClose = FormCloseQuery(); });
    event->setAccepted(canClose);
}

bool TFrm_ProcGrant::FormCloseQuery() {
    // Without the data access module the program is ending (the main window has closed it) and
    // nothing could be saved any more.
    if (!IISdmPtr || !Cds_UserH.active() || Cds_UserH.changeCount() == 0) return true;
    switch (platform().askToSave("角色已修改，尚未保存。要保存吗？", "温馨提示")) {
        case Platform::SaveAnswer::Save:
            SaveTBClick();
            return Cds_UserH.changeCount() == 0;  // a failed save keeps its flips, and the window
        case Platform::SaveAnswer::Discard:
            Cds_UserH.close();  // the flips are dropped, as a refresh drops them
            return true;
        case Platform::SaveAnswer::Cancel:
            break;
    }
    return false;
}

void TFrm_ProcGrant::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace tarvelo
