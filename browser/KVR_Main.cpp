#include "browser/KVR_Main.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateEdit>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "accounts/Unit_ProcGrant.h"
#include "app/ActionGuard.h"
#include "app/Application.h"
#include "app/ClientSettings.h"
#include "app/Globals.h"
#include "browser/BrowserStatements.h"
#include "browser/PriceTrendWindow.h"
#include "data/ReferenceList.h"
#include "platform/Platform.h"
#include "service/IISdm.h"
#include "signin/Login.h"
#include "signin/SessionRegistry.h"
#include "text/Date.h"
#include "text/Error.h"
#include "widgets/DBGrid.h"
#include "widgets/DataSource.h"
#include "widgets/FormParts.h"
#include "widgets/Pictures.h"
#include "widgets/QtCallWaiter.h"
#include "widgets/WindowPlacement.h"

namespace tarvelo {

namespace {

const QString kTop[4] = {QStringLiteral("信息价"), QStringLiteral("成交价"),
                         QStringLiteral("苗木价"), QStringLiteral("厂商报价")};
const QColor kNavy(0x00, 0x00, 0x80);  // 8388608 in the windows' BGR notation
constexpr const char* kPublisherLine = "Tarvelo 云平台 · 建设工程材料价格信息，每月发布";
// The search strip: the box starts 145 pixels in; the two buttons after it and a margin take
// 176; the box is 460 pixels wide or more where there is room, never less than 120.
constexpr int kBoxLeft = 145;
constexpr int kAfterBox = 176;
constexpr int kBoxWidth = 460;
constexpr int kNarrowestBox = 120;
// The floating lists: the suggestions under the search box, the pick list under the target box.
const QRect kSuggestions(kBoxLeft, 76, 296, 321);
const QRect kPickList(13, 36, 292, 493);

// Fonts and colours of the tree's items, set before each is drawn with the default drawing.
class TreeDrawing : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const bool top = !index.parent().isValid();
        QFont f(QStringLiteral("楷体"));
        f.setPointSize(top ? 12 : 11);
        f.setBold(top);
        option->font = f;
        const bool selected = option->state & QStyle::State_Selected;
        const QColor colour = selected ? QColor(Qt::white) : top ? kNavy : QColor(Qt::black);
        option->palette.setColor(QPalette::Text, colour);
        option->palette.setColor(QPalette::HighlightedText, colour);
    }
};

// The region icons stand each in a cell of the list's grid, and grid lines rule the cells off.
// The caption under the mouse is underlined while the mouse is over it.
class IconCellDrawing : public QStyledItemDelegate {
public:
    static constexpr QSize kCell{86, 60};
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return kCell;  // a region without a picture takes a whole cell as well
    }
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        // The picture a little below the line above it.
        QStyleOptionViewItem inside = option;
        inside.rect.adjust(0, 4, -1, -1);
        QStyledItemDelegate::paint(painter, inside, index);
        // The right and bottom edges of each cell; the list's frame draws the outer ones.
        const QRect r = option.rect;
        painter->save();
        painter->setPen(QColor(0xC8, 0xC8, 0xC8));
        painter->drawLine(r.topRight(), r.bottomRight());
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        painter->restore();
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->font.setUnderline(option->state & QStyle::State_MouseOver);
    }
};

QListWidget* iconList(QWidget* parent) {
    auto* lv = new QListWidget(parent);
    lv->setViewMode(QListView::IconMode);
    lv->setIconSize(QSize(32, 32));
    lv->setGridSize(IconCellDrawing::kCell);
    lv->setSpacing(0);
    lv->setItemDelegate(new IconCellDrawing(lv));
    lv->setMovement(QListView::Static);
    lv->setResizeMode(QListView::Adjust);
    // Two rows of icons; one on a small screen.
    lv->setMinimumHeight(64);
    lv->setMaximumHeight(150);
    lv->setFont(kai(14));
    lv->setStyleSheet(QStringLiteral("QListWidget { color: navy; }"));
    lv->setCursor(Qt::PointingHandCursor);
    lv->setMouseTracking(true);
    lv->viewport()->setAttribute(Qt::WA_Hover);
    return lv;
}

}  // namespace

TKVR_MainForm::TKVR_MainForm(QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("KVR_MainForm"));
    setWindowTitle(QStringLiteral("Tarvelo 云平台"));
    resize(1000, 700);
    startDirectory = QDir::currentPath().left(260).toStdString();
    lastWorkbookFolder = ClientSettings::folder(QStringLiteral("workbook"));

    PageControl1 = new QTabWidget(this);
    PageControl1->setDocumentMode(true);
    PageControl1->tabBar()->setFont(kai(16, true));
    TS_User = new QWidget;
    TS_Admin = new QWidget;
    TabSheet1 = new QWidget;
    PageControl1->addTab(TS_User, QStringLiteral("信息中心"));
    PageControl1->addTab(TS_Admin, QStringLiteral(" 数据中心 "));
    PageControl1->addTab(TabSheet1, QStringLiteral("StreamTest"));
    PageControl1->setTabVisible(2, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(PageControl1);

    buildInformationCentre();
    buildDataCentre();
    const auto on = [this](auto* sender, auto signal, void (TKVR_MainForm::*handler)()) {
        connect(sender, signal, this, [this, handler] { runAction([&] { (this->*handler)(); }); });
    };
    on(TransferTB, &QToolButton::clicked, &TKVR_MainForm::TransferTBClick);
    on(LoadTB, &QToolButton::clicked, &TKVR_MainForm::LoadTBClick);
    on(UserTB, &QToolButton::clicked, &TKVR_MainForm::UserTBClick);
    on(QueryDateTimePicker, &QDateEdit::dateChanged, &TKVR_MainForm::QueryDateTimePickerCloseUp);
    on(QueryTB, &QToolButton::clicked, &TKVR_MainForm::QueryTBClick);
    on(RefreshTB, &QToolButton::clicked, &TKVR_MainForm::RefreshTBClick);
    on(ExitTB, &QToolButton::clicked, &TKVR_MainForm::ExitTBClick);
    on(PageControl2, &QTabWidget::currentChanged, &TKVR_MainForm::PageControl2Change);
    on(QueryDBGrid, &TDBGrid::cellClicked, &TKVR_MainForm::QueryDBGridCellClick);

    // Both pickers start at today's date; the suggestion grid starts hidden.
    YMDateTimePicker->setDate(QDate::currentDate());
    QueryDateTimePicker->setDate(QDate::currentDate());
    hideSuggestions();
    fitFloatingLists();
    for (QWidget* page : {Panel4, TS_Admin})
        page->installEventFilter(this);

    // Where the user left it last time, while a screen shows that place whole.
    WindowPlacement::keepOnScreen(this,
                                  ClientSettings::restoreGeometry(*this, QStringLiteral("main")));
}

void TKVR_MainForm::buildInformationCentre() {
    auto* page = new QVBoxLayout(TS_User);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);

    Panel3 = new QWidget(TS_User);
    Panel3->setFixedHeight(41);
    Label2 = new QLabel(q(kPublisherLine), Panel3);
    Label2->setFont(kai(21));
    Label2->setStyleSheet(QStringLiteral("color: navy; background: transparent;"));
    Label2->setGeometry(200, 8, 900, 28);
    Timer1 = new QTimer(this);
    Timer1->setInterval(60);
    connect(Timer1, &QTimer::timeout, this, [this] { runAction([this] { Timer1Timer(); }); });
    Timer1->start();
    page->addWidget(Panel3);

    Splitter1 = new QSplitter(Qt::Horizontal, TS_User);
    page->addWidget(Splitter1, 1);

    Panel2 = new QWidget;
    auto* left = new QVBoxLayout(Panel2);
    left->setContentsMargins(0, 0, 0, 0);
    left->setSpacing(0);
    TV_TreeL = new QTreeWidget(Panel2);
    TV_TreeL->setHeaderHidden(true);
    // 224 pixels high; less on a small screen, where the item list shares the room with it.
    TV_TreeL->setMinimumHeight(96);
    TV_TreeL->setMaximumHeight(224);
    TV_TreeL->setFont(kai(16));
    TV_TreeL->setRootIsDecorated(false);  // no lines at the root
    TV_TreeL->setIndentation(19);
    TV_TreeL->setItemDelegate(new TreeDrawing(TV_TreeL));
    // The selection stays highlighted when the tree loses the focus.
    QPalette p = TV_TreeL->palette();
    p.setColor(QPalette::Inactive, QPalette::Highlight,
               p.color(QPalette::Active, QPalette::Highlight));
    TV_TreeL->setPalette(p);
    DBGrid1 = new TDBGrid(Panel2);
    Ds_Item = source(Cds_Item, this, columns({{"ITEMDESC", "材料名", 193}}));
    DBGrid1->setDataSource(Ds_Item);
    // Equal stretch: the room beyond what each needs is shared, so the tree reaches its designed
    // height (its maximum) before the grid takes the rest; on a small screen both give way.
    // The search strip and the icon lists share their room with the grids in the same way.
    left->addWidget(TV_TreeL, 1);
    left->addWidget(DBGrid1, 1);
    Splitter1->addWidget(Panel2);

    Panel4 = new QWidget;
    auto* right = new QVBoxLayout(Panel4);
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(0);
    TitlePanel = new QWidget(Panel4);
    // 110 pixels high; on a small screen down to just under the search box.
    TitlePanel->setMinimumHeight(80);
    TitlePanel->setMaximumHeight(110);
    TitlePanel->setMinimumWidth(kBoxLeft + kNarrowestBox + kAfterBox);
    TitlePanel->installEventFilter(this);
    YMCheckBox = new QCheckBox(QStringLiteral("年份/月"), TitlePanel);
    YMCheckBox->setToolTip(QStringLiteral("选中按月查询，不选查全年"));
    YMCheckBox->setChecked(true);
    YMCheckBox->setEnabled(false);
    YMDateTimePicker = new QDateEdit(TitlePanel);
    YMDateTimePicker->setDisplayFormat(QStringLiteral("yyyy-MM"));
    YMDateTimePicker->setCalendarPopup(true);
    QueryEdit = new QLineEdit(TitlePanel);
    QueryEdit->setFont(kai(21));
    QueryEdit->setFrame(false);
    QueryEdit->setStyleSheet(QStringLiteral("QLineEdit { border-bottom: 1px solid #7a9cc6; }"));
    QueryEdit->installEventFilter(this);
    QuerySpeedButton = button(TitlePanel, QStringLiteral("搜 索"));
    QuerySpeedButton->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    QuerySpeedButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    QuerySpeedButton->setFont(kai(18, true));
    SpeedButton3 = button(TitlePanel, QStringLiteral("清屏"));
    SpeedButton2 = button(TitlePanel, QStringLiteral("退出"));
    wwwSpeedButton = button(TitlePanel, QString());
    wwwSpeedButton->setToolTip(QStringLiteral("退出"));
    wwwSpeedButton->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    right->addWidget(TitlePanel, 1);

    PageControl3 = new QTabWidget(Panel4);
    PageControl3->tabBar()->setFont(kai(16, true));
    const auto pageWithGrid = [&](QWidget*& pageWidget, QListWidget** icons, TDBGrid*& grid,
                                  TDataSource*& ds, DataSet& set, std::vector<GridColumn> cols,
                                  const QString& caption) {
        pageWidget = new QWidget;
        auto* v = new QVBoxLayout(pageWidget);
        v->setContentsMargins(0, 0, 0, 0);
        v->setSpacing(0);
        if (icons) {
            *icons = iconList(pageWidget);
            v->addWidget(*icons, 1);
        }
        grid = new TDBGrid(pageWidget);
        grid->installWheelRule();
        grid->enableSorting();
        ds = source(set, this, std::move(cols));
        grid->setDataSource(ds);
        grid->setGridName(caption.trimmed());
        auto* trend = new QAction(QStringLiteral("价格走势"), grid);
        trend->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
        const auto category = static_cast<Category>(PageControl3->count());
        connect(trend, &QAction::triggered, this,
                [this, category] { runAction([&] { showTrend(category); }); });
        grid->addMenuAction(trend);
        v->addWidget(grid, 1);
        PageControl3->addTab(pageWidget, caption);
    };
    pageWithGrid(TS_XXJ, &lv1, XXMDBGrid, Ds_XXJ, Cds_XXJ,
                 columns({{"PERDID", "发布日期", 80},
                          {"ITEMDESC", "材料名", 160},
                          {"SPECID", "规格", 80},
                          {"MODEL", "型号", 80},
                          {"UNIT", "计量单位", 60},
                          {"XXJ", "信息价", 0},
                          {"DEJ", "定额价", 67},
                          {"ITEMID", "标准材料编码", 100},
                          {"ITEMID_ZJ", "造价处编码", 100},
                          {"BRAND", "品牌", 80},
                          {"MATERIAL", "材质", 80}}),
                 QStringLiteral(" 信息价  "));
    pageWithGrid(TS_CJJ, nullptr, CJMDBGrid, Ds_CJJ, Cds_CJJ,
                 columns({{"PERDID", "发布日期", 80},
                          {"ITEMID", "标准材料编码", 100},
                          {"ITEMDESC", "材料名", 160},
                          {"SPECID", "规格", 80},
                          {"MODEL", "型号", 80},
                          {"UNIT", "计量单位", 60},
                          {"CJJ", "成交价", 0},
                          {"CJRQ", "成交日期", 0},
                          {"PLACE", "地区", 0},
                          {"BRAND", "品牌", 80},
                          {"MATERIAL", "材质", 80}}),
                 QStringLiteral(" 成交价 "));
    pageWithGrid(TS_MMJ, &lv2, MMMDBGrid, Ds_MMJ, Cds_MMJ,
                 columns({{"PERDID", "发布日期", 80},
                          {"ITEMDESC", "材料名", 160},
                          {"SPECID", "规格", 80},
                          {"MODEL", "型号", 80},
                          {"UNIT", "计量单位", 60},
                          {"MMJ", "苗木价", 0},
                          {"VEND", "供应商", 0},
                          {"LINKMAN", "联系人", 0},
                          {"LINKTEL", "联系电话", 0},
                          {"ITEMID", "标准材料编码", 100},
                          {"BRAND", "品牌", 80}}),
                 QStringLiteral(" 苗木价 "));
    pageWithGrid(TS_CSJ, nullptr, CSMDBGrid, Ds_CSJ, Cds_CSJ,
                 columns({{"PERDID", "发布日期", 80},
                          {"ITEMDESC", "材料名", 160},
                          {"ITEMID", "标准材料编码", 100},
                          {"SPECID", "规格", 80},
                          {"MODEL", "型号", 80},
                          {"BRAND", "品牌", 80},
                          {"MATERIAL", "材质", 80},
                          {"UNIT", "计量单位", 60},
                          {"CSJ", "厂商价", 0},
                          {"VEND", "供应商", 0},
                          {"LINKMAN", "联系人", 0},
                          {"LINKTEL", "联系电话", 0}}),
                 QStringLiteral("厂商报价"));
    right->addWidget(PageControl3, 1);
    StatusLine = new QLabel(Panel4);
    StatusLine->setObjectName(QStringLiteral("StatusLine"));
    StatusLine->setContentsMargins(6, 3, 6, 3);
    StatusLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    right->addWidget(StatusLine);
    Splitter1->addWidget(Panel4);
    Splitter1->setSizes({185, 815});
    Splitter1->setStretchFactor(1, 1);

    // The suggestions float under the search box, above the tabs.
    SelDBGrid = new TDBGrid(Panel4);
    SelDBGrid->setGeometry(kSuggestions);
    SelDBGrid->horizontalHeader()->hide();
    SelDBGrid->verticalHeader()->hide();
    SelDBGrid->setFont(kai(15));
    Ds_SelItem = source(Cds_SelItem, this, columns({{"ITEMDESC", "", 270}}));
    SelDBGrid->setDataSource(Ds_SelItem);
    SelDBGrid->installEventFilter(this);
    SelDBGrid->viewport()->installEventFilter(this);
    SelDBGrid->raise();
    TV_TreeL->viewport()->installEventFilter(this);
    // Enter on a node or a region icon chooses it, as a click does.
    for (QWidget* chooser : std::initializer_list<QWidget*>{TV_TreeL, lv1, lv2})
        chooser->installEventFilter(this);

    const auto on = [this](auto* sender, auto signal, void (TKVR_MainForm::*handler)()) {
        connect(sender, signal, this, [this, handler] { runAction([&] { (this->*handler)(); }); });
    };
    on(TV_TreeL, &QTreeWidget::itemClicked, &TKVR_MainForm::TV_TreeLClick);
    on(lv1, &QListWidget::itemClicked, &TKVR_MainForm::lv1Click);
    on(lv2, &QListWidget::itemClicked, &TKVR_MainForm::lv2Click);
    on(DBGrid1, &TDBGrid::cellClicked, &TKVR_MainForm::DBGrid1CellClick);
    on(PageControl3, &QTabWidget::currentChanged, &TKVR_MainForm::PageControl3Change);
    on(YMDateTimePicker, &QDateEdit::dateChanged, &TKVR_MainForm::YMDateTimePickerCloseUp);
    on(YMCheckBox, &QCheckBox::clicked, &TKVR_MainForm::YMDateTimePickerCloseUp);
    on(QueryEdit, &QLineEdit::textChanged, &TKVR_MainForm::QueryEditChange);
    on(QuerySpeedButton, &QToolButton::clicked, &TKVR_MainForm::QuerySpeedButtonClick);
    on(SpeedButton3, &QToolButton::clicked, &TKVR_MainForm::SpeedButton3Click);
    on(SpeedButton2, &QToolButton::clicked, &TKVR_MainForm::SpeedButton2Click);
    on(wwwSpeedButton, &QToolButton::clicked, &TKVR_MainForm::wwwSpeedButtonClick);
    on(SelDBGrid, &TDBGrid::cellClicked, &TKVR_MainForm::SelDBGridCellClick);
    // The suggestions belong to the node, tab and period they were asked for, and to the box:
    // they go when any of these changes, or when the focus moves on within the window.
    connect(TV_TreeL, &QTreeWidget::currentItemChanged, this, [this] { hideSuggestions(); });
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (!SelDBGrid->isVisible() || !now || now->window() != this) return;
        if (now != QueryEdit && now != SelDBGrid && !SelDBGrid->isAncestorOf(now))
            hideSuggestions();
    });

    layOutTitlePanel();
}

void TKVR_MainForm::layOutTitlePanel() {
    const int w = TitlePanel->width();
    YMCheckBox->setGeometry(10, 10, 100, 24);
    SpeedButton2->setGeometry(w - 90, 6, 50, 28);
    wwwSpeedButton->setGeometry(w - 36, 6, 30, 28);
    YMDateTimePicker->setGeometry(10, 44, 125, 30);
    // The box stretches with the strip, from 460 pixels up; on a narrow strip it gives way so
    // that the buttons after it stay in view.
    const int boxWidth = std::min(std::max(kBoxWidth, w - kBoxLeft - 200),
                                  std::max(kNarrowestBox, w - kBoxLeft - kAfterBox));
    QueryEdit->setGeometry(kBoxLeft, 42, boxWidth, 34);
    QuerySpeedButton->setGeometry(kBoxLeft + boxWidth + 8, 42, 96, 34);
    SpeedButton3->setGeometry(kBoxLeft + boxWidth + 110, 42, 60, 34);
}

void TKVR_MainForm::fitFloatingLists() {
    // Each keeps its designed height where the page is tall enough, and ends at the page's
    // bottom edge where it is not.
    const auto fit = [](QWidget* list, const QRect& designed, const QWidget* page) {
        QRect r = designed;
        r.setHeight(std::max(40, std::min(designed.height(), page->height() - designed.y())));
        list->setGeometry(r);
    };
    fit(SelDBGrid, kSuggestions, Panel4);
    fit(QueryDBGrid, kPickList, TS_Admin);
}

bool TKVR_MainForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == TitlePanel && event->type() == QEvent::Resize) {
        layOutTitlePanel();
    } else if ((watched == Panel4 || watched == TS_Admin) && event->type() == QEvent::Resize) {
        fitFloatingLists();
    } else if (watched == QueryEdit) {
        switch (event->type()) {
            // The window becoming active again (after a message box, a menu, another program)
            // is no entering or leaving of the box; answering them would reopen the message
            // that made the window inactive, forever.
            case QEvent::FocusIn:
            case QEvent::FocusOut: {
                const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
                if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) break;
                // Only the user's own entering (a click, Tab, a shortcut) may ask for a region;
                // the focus put back by a page switch or by the program may not.
                const bool byUser =
                    reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason ||
                    reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason;
                if (event->type() == QEvent::FocusIn)
                    runAction([this, byUser] { QueryEditEnter(byUser); });
                else
                    runAction([this] { QueryEditExit(); });
                break;
            }
            case QEvent::KeyPress:
            case QEvent::KeyRelease: {
                const auto* keyEvent = static_cast<QKeyEvent*>(event);
                const int key = keyEvent->key();
                // Down goes into the suggestions, at their first row.
                if (key == Qt::Key_Down) {
                    if (event->type() == QEvent::KeyPress && SelDBGrid->isVisible() &&
                        Cds_SelItem.active() && Cds_SelItem.recordCount() > 0) {
                        Cds_SelItem.first();
                        SelDBGrid->setFocus(Qt::TabFocusReason);
                        SelDBGrid->selectRow(0);
                    }
                    return true;
                }
                // Enter held down is still one search.
                if (keyEvent->isAutoRepeat() && (key == Qt::Key_Return || key == Qt::Key_Enter))
                    return true;
                const bool press = event->type() == QEvent::KeyPress;
                bool consumed = false;
                runAction([&] {
                    QueryEditKey(key, press);
                    consumed = press && (key == Qt::Key_Return || key == Qt::Key_Enter);
                });
                if (consumed) return true;
                break;
            }
            default:
                break;
        }
    } else if (watched == QueryDBEdit) {
        if (event->type() == QEvent::FocusIn) {
            // Only the user enters the box (a click, Tab, Shift+Tab, a shortcut). The focus put
            // back by the page switch to the data centre, by a refused target, by the window
            // coming back or a popup closing is no entering: the rows on screen stay.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason ||
                reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason)
                runAction([this] { QueryDBEditEnter(); });
        } else if (event->type() == QEvent::KeyPress) {
            // Only a key that types something (a character, Enter, Escape, Backspace) is a key
            // of the box; Shift and the arrows are not.
            const auto* keyEvent = static_cast<QKeyEvent*>(event);
            if (!keyEvent->text().isEmpty())
                runAction([&] { QueryDBEditKeyPress(keyEvent->key()); });
        } else if (event->type() == QEvent::InputMethod) {
            // Region names come through an input method: its committed text is typed text.
            if (!static_cast<QInputMethodEvent*>(event)->commitString().isEmpty())
                runAction([this] { QueryDBEditKeyPress(0); });
        }
    } else if (watched == SelDBGrid) {
        if (event->type() == QEvent::KeyRelease)
            runAction([&] { SelDBGridKeyUp(static_cast<QKeyEvent*>(event)->key()); });
        else if (event->type() == QEvent::FocusOut)
            runAction([this] { SelDBGridColExit(); });
    } else if (SelDBGrid && watched == SelDBGrid->viewport()) {
        // Without a row the grid has no cell to report a click on; the click still counts.
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
            (!Cds_SelItem.active() || Cds_SelItem.recordCount() == 0))
            runAction([this] { SelDBGridCellClick(); });
    } else if (watched == TV_TreeL || watched == lv1 || watched == lv2) {
        // Enter chooses the current node or icon, so that a region can be chosen without the
        // mouse; held down, it is still one choice.
        if (event->type() == QEvent::KeyPress) {
            const auto* keyEvent = static_cast<QKeyEvent*>(event);
            if (keyEvent->key() == Qt::Key_Return || keyEvent->key() == Qt::Key_Enter) {
                if (!keyEvent->isAutoRepeat())
                    runAction([&] {
                        if (watched == TV_TreeL)
                            TV_TreeLClick();
                        else if (watched == lv1)
                            lv1Click();
                        else
                            lv2Click();
                    });
                return true;
            }
        }
    } else if (TV_TreeL && watched == TV_TreeL->viewport()) {
        // A click beside the nodes keeps the selected one: the region stays chosen.
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::MouseMove:
                if (!TV_TreeL->itemAt(static_cast<QMouseEvent*>(event)->position().toPoint()))
                    return true;
                break;
            default:
                break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

TKVR_MainForm::~TKVR_MainForm() {
    // A suggestion query in flight is abandoned and its thread ended while this window is whole:
    // its answer is handed to this window.
    m_closed = true;
    m_suggestionQuery.reset();
    // While the program still refers to a main window, its session is released once more.
    try {
        if (KVR_MainForm) SessionRegistry::sendRelease(ADOQuery1, KVR_MainForm->USERID);
    } catch (...) {
    }
    // The data sources go before the datasets they listen to (Qt would delete them, as
    // children, only after this window's members are gone).
    for (TDataSource* d :
         {Ds_Item, Ds_SelItem, Ds_XXJ, Ds_CJJ, Ds_MMJ, Ds_CSJ, Ds_XXJD, Ds_CJJD, Ds_MMJD, Ds_CSJD})
        delete d;
}

Category TKVR_MainForm::activeCategory() const {
    const QWidget* page = PageControl3->currentWidget();
    if (page == TS_CJJ) return Category::CJJ;
    if (page == TS_MMJ) return Category::MMJ;
    if (page == TS_CSJ) return Category::CSJ;
    return Category::XXJ;
}

std::optional<std::string> TKVR_MainForm::selectedRegion() const {
    // A region is a selected node under "信息价" or "苗木价": the two hold the same list, so
    // either serves the other's tab; a material class is no region.
    const QTreeWidgetItem* node = TV_TreeL->currentItem();
    if (!node || !node->isSelected() || !node->parent()) return std::nullopt;
    const QString top = node->parent()->text(0);
    if (top != kTop[0] && top != kTop[2]) return std::nullopt;
    return node->text(0).toStdString();
}

TIISdmPtr& TKVR_MainForm::dataModule() const {
    if (!IISdmPtr) throw Error("数据访问模块已经关闭。");
    return *IISdmPtr;
}

void TKVR_MainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) runAction([this] { FormShow(); });
}

void TKVR_MainForm::FormShow() {
    // 1, 2: the categories, both pages, and the buttons the roles allow.
    TV_TreeL->clear();
    for (const QString& text : kTop)
        TV_TreeL->addTopLevelItem(new QTreeWidgetItem({text}));
    PageControl1->setTabVisible(0, true);
    PageControl1->setTabVisible(1, true);
    TransferTB->setEnabled(DATABZ.size() < 1 || DATABZ[0] != '0');
    UserTB->setEnabled(DATABZ.size() < 2 || DATABZ[1] != '0');
    // 3: both periods, and the pickers showing them.
    browserPeriod = importPeriod = Date::today().period();
    for (QDateEdit* picker : {YMDateTimePicker, QueryDateTimePicker}) {
        const QSignalBlocker quiet(picker);
        picker->setDate(QDate::currentDate());
    }
    // 4: the reference lists; a failure ends here with the four top-level nodes.
    TIISdmPtr& dm = dataModule();
    dm.QueryInto(ReferenceList::materialClasses().statement, Cds_ICEXT);
    dm.QueryInto(ReferenceList::regions().statement, Cds_Region);
    // 5: the children, and the icons of the regions.
    for (int t = 0; t < 4; ++t) {
        QTreeWidgetItem* top = TV_TreeL->topLevelItem(t);
        QListWidget* icons = t == 0 ? lv1 : t == 2 ? lv2 : nullptr;
        DataSet* rows = t == 0 || t == 2 ? &Cds_Region : t == 3 ? &Cds_ICEXT : nullptr;
        if (icons) icons->clear();
        if (!rows) continue;
        int k = 0;
        for (rows->first(); !rows->eof(); rows->next(), ++k) {
            const QString name = QString::fromStdString(rows->fieldByName("IDDESC").asText());
            top->addChild(new QTreeWidgetItem({name}));
            if (!icons) continue;
            // The image list holds twenty pictures; later regions show their caption only.
            auto* item = new QListWidgetItem(name, icons);
            if (k < 20)
                item->setIcon(pictureIcon(QStringLiteral(":/pictures/regions/region%1.png")
                                              .arg(k + 1, 2, 10, QLatin1Char('0'))));
            else
                item->setSizeHint(QSize(86, 60));
        }
    }
    // The data centre's pick list opens at the top of each list.
    for (DataSet* rows : {&Cds_Region, &Cds_ICEXT})
        if (rows->recordCount() > 0) rows->first();
    // 6: the pages shown first.
    PageControl1->setCurrentWidget(TS_User);
    {
        const QSignalBlocker quietPages(PageControl2);
        PageControl2->setCurrentWidget(TS_CJJD);
    }
    QueryDBGrid->hide();
    const QSignalBlocker quiet(PageControl3);
    PageControl3->setCurrentIndex(ClientSettings::lastTab(QStringLiteral("category"), 0));
    TV_TreeL->setCurrentItem(nullptr);
    TV_TreeL->clearSelection();
}

void TKVR_MainForm::showTrend(Category category) {
    DataSet* sets[] = {&Cds_XXJ, &Cds_CJJ, &Cds_MMJ, &Cds_CSJ};
    DataSet& rows = *sets[static_cast<int>(category)];
    if (!rows.active() || rows.recordCount() == 0 || !rows.currentRow()) return;
    const auto text = [&](const char* field) {
        return rows.findField(field) ? rows.fieldByName(field).asText() : std::string();
    };
    PriceTrend::Item item{category, text("ITEMDESC"), text("SPECID"), text("MODEL"),
                          text(category == Category::CSJ ? "ICEXT" : "PLACE")};
    auto* window = new PriceTrendWindow(this, dataModule(), std::move(item), browserPeriod);
    window->load(12);
    window->show();
    window->activateWindow();
}

void TKVR_MainForm::updateStatusLine() {
    const auto c = static_cast<std::size_t>(activeCategory());
    const DataSet* sets[] = {&Cds_XXJ, &Cds_CJJ, &Cds_MMJ, &Cds_CSJ};
    if (!sets[c]->active() || shown[c].empty()) {
        StatusLine->clear();
        return;
    }
    const std::size_t rows = sets[c]->recordCount();
    StatusLine->setText(QString::fromStdString(
        shown[c] + "：" +
        (rows == 0 ? std::string("没有找到匹配的材料") : "共 " + std::to_string(rows) + " 行")));
}

void TKVR_MainForm::PageControl3Change() {
    QueryEdit->clear();
    hideSuggestions();
    updateStatusLine();
    const Category c = activeCategory();
    SelectTopNode(kTop[static_cast<int>(c)]);
}

void TKVR_MainForm::YMDateTimePickerCloseUp() {
    hideSuggestions();
    browserPeriod =
        Date{YMDateTimePicker->date().year(), YMDateTimePicker->date().month(), 1}.period();
}

void TKVR_MainForm::Timer1Timer() {
    int x = Label2->x() - 1;
    if (x <= -20) x = 200;
    Label2->move(x, Label2->y());
    const QTreeWidgetItem* node = TV_TreeL->currentItem();
    QString text = q(kPublisherLine);
    if (node && node->isSelected())
        text = node->parent() ? node->parent()->text(0) + QStringLiteral(":") + node->text(0)
                              : node->text(0);
    if (Label2->text() != text) {
        Label2->setText(text);
        Label2->adjustSize();
    }
}

void TKVR_MainForm::SelectTopNode(const QString& text) {
    for (int i = 0; i < TV_TreeL->topLevelItemCount(); ++i) {
        if (TV_TreeL->topLevelItem(i)->text(0) == text) {
            TV_TreeL->setCurrentItem(TV_TreeL->topLevelItem(i));
            return;
        }
    }
    TV_TreeL->setCurrentItem(nullptr);
    TV_TreeL->clearSelection();
}

void TKVR_MainForm::SelectChildNode(const QString& parentText, const QString& text) {
    for (int i = 0; i < TV_TreeL->topLevelItemCount(); ++i) {
        QTreeWidgetItem* top = TV_TreeL->topLevelItem(i);
        if (top->text(0) != parentText) continue;
        for (int c = 0; c < top->childCount(); ++c) {
            if (top->child(c)->text(0) == text) {
                top->setExpanded(true);
                TV_TreeL->setCurrentItem(top->child(c));
                TV_TreeL->scrollToItem(top->child(c));
                return;
            }
        }
    }
    TV_TreeL->setCurrentItem(nullptr);
    TV_TreeL->clearSelection();
}

void TKVR_MainForm::TV_TreeLClick() {
    QTreeWidgetItem* node = TV_TreeL->currentItem();
    if (!node || !node->isSelected()) return;
    QueryEdit->clear();
    Label2->setText(node->text(0));
    PageControl1->setCurrentWidget(TS_User);
    for (DataSet* ds : {&Cds_XXJ, &Cds_MMJ, &Cds_CJJ, &Cds_CSJ})
        ds->close();
    shown = {};
    updateStatusLine();
    CursorGuard cursor(platform(), Cursor::Hourglass);

    const QTreeWidgetItem* top = node->parent() ? node->parent() : node;
    const auto category =
        static_cast<Category>(TV_TreeL->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(top)));
    const QSignalBlocker quiet(PageControl3);  // these assignments are no tab change
    if (!node->parent()) {
        PageControl3->setCurrentIndex(static_cast<int>(category));
        if (category == Category::XXJ || category == Category::MMJ) return;
    } else {
        if (category == Category::CSJ) return;
        QListWidget* icons = category == Category::XXJ ? lv1 : lv2;
        for (int i = 0; i < icons->count(); ++i)
            if (icons->item(i)->text() == node->text(0)) {
                icons->setCurrentRow(i);
                break;
            }
    }
    BrowserStatements::itemList(ADOQuery1, category, browserPeriod, node->text(0).toStdString());
    dataModule().QueryInto(ADOQuery1.text(), Cds_Item);
}

void TKVR_MainForm::lv1Click() {
    const QListWidgetItem* icon = lv1->currentItem();
    if (!icon || !icon->isSelected()) return;
    SelectTopNode(kTop[2]);
    if (QTreeWidgetItem* n = TV_TreeL->currentItem()) n->setExpanded(false);
    SelectChildNode(kTop[0], icon->text());
    TV_TreeLClick();
}

void TKVR_MainForm::lv2Click() {
    const QListWidgetItem* icon = lv2->currentItem();
    if (!icon || !icon->isSelected()) return;
    if (TV_TreeL->topLevelItemCount() > 0) TV_TreeL->topLevelItem(0)->setExpanded(false);
    SelectChildNode(kTop[2], icon->text());
    TV_TreeLClick();
}

void TKVR_MainForm::DBGrid1CellClick() {
    if (!Cds_Item.active() || Cds_Item.recordCount() == 0) return;
    marker = "点";
    QueryEdit->setText(QString::fromStdString(Cds_Item.fieldByName("ITEMDESC").asText()));
}

void TKVR_MainForm::QueryEditEnter(bool byUser) {
    PageControl1->setCurrentWidget(TS_User);
    marker = "查";
    Platform& ui = platform();
    if (m_hasSavedLayout && ui.isInputMethodLayout(m_savedLayout))
        ui.activateKeyboardLayout(m_savedLayout);
    hideSuggestions();
    const Category c = activeCategory();
    if (BrowserStatements::byRegion(c)) {
        const QTreeWidgetItem* node = TV_TreeL->currentItem();
        const bool regionOfTab = node && node->isSelected() && node->parent() &&
                                 node->parent()->text(0) == kTop[static_cast<int>(c)];
        if (!regionOfTab && byUser) ui.message("请选择地区查询");
    }
}

void TKVR_MainForm::QueryEditExit() {
    Platform& ui = platform();
    m_savedLayout = ui.keyboardLayout();
    m_hasSavedLayout = true;
    if (ui.isInputMethodLayout(m_savedLayout)) ui.sendInputMethodHotKey(16);
}

bool TKVR_MainForm::composeSuggestion(StatementBuffer& into) {
    const std::string text = QueryEdit->text().toStdString();
    if (text.empty() || marker == "点") return false;
    const Category c = activeCategory();
    const auto region = selectedRegion();
    // Without a region these categories have nothing to narrow to: nothing is sent.
    if (BrowserStatements::byRegion(c) && !region) return false;
    BrowserStatements::suggestion(into, c, browserPeriod, region.value_or(""), text);
    return true;
}

void TKVR_MainForm::hideSuggestions() {
    ++m_suggestionEpoch;  // suggestions on their way are no longer wanted, also if hidden already
    SelDBGrid->hide();
}

std::optional<std::string> TKVR_MainForm::suggestionStatement() {
    StatementBuffer statement;
    if (!composeSuggestion(statement)) return std::nullopt;
    return statement.text();
}

// Typing goes on while suggestions are fetched: at most one suggestion query is in flight, and
// when it is answered the latest text is asked for, so that typing faster than the service
// answers sends fewer statements than there were changes. An answer for an older text is never
// shown.
void TKVR_MainForm::QueryEditChange() {
    if (!suggestionStatement()) return;
    m_suggestionsWanted = m_suggestionEpoch;
    askSuggestions();
}

void TKVR_MainForm::askSuggestions() {
    if (m_suggestionsAsked || m_closed) return;
    TIISdmPtr& module = dataModule();
    if (!m_suggestionQuery)
        m_suggestionQuery = std::make_unique<BackgroundQuery>(
            SoapInterface::supply(), module.SpplyHTTPRIO.url(), module.SpplyHTTPRIO.config(),
            module.SpplyHTTPRIO.connection());
    if (!composeSuggestion(ADOQuery1)) return;
    m_suggestionsAsked = true;
    const unsigned epoch = m_suggestionEpoch;
    try {
        m_suggestionQuery->start(ADOQuery1.text(), [this, epoch](BackgroundQuery::Answer answer) {
            // On the query's thread: the window takes the answer on its own.
            auto taken = std::make_shared<BackgroundQuery::Answer>(std::move(answer));
            QMetaObject::invokeMethod(
                this, [this, epoch, taken] { suggestionsArrived(epoch, std::move(*taken)); },
                Qt::QueuedConnection);
        });
    } catch (...) {
        m_suggestionsAsked = false;
        throw;
    }
}

void TKVR_MainForm::suggestionsArrived(unsigned epoch, BackgroundQuery::Answer answer) {
    if (m_closed) return;
    // A call of the window is on its way (its waiter's loop delivered this): the answer is taken
    // in once it has ended, never in the middle of another action, whose input is held.
    if (const auto* waiter = dynamic_cast<const QtCallWaiter*>(app().waiter);
        waiter && waiter->busy()) {
        auto later = std::make_shared<BackgroundQuery::Answer>(std::move(answer));
        QTimer::singleShot(20, this,
                           [this, epoch, later] { suggestionsArrived(epoch, std::move(*later)); });
        return;
    }
    m_suggestionsAsked = false;
    // Only a change made since the grid was last hidden wants suggestions shown.
    if (!m_suggestionsWanted || *m_suggestionsWanted != m_suggestionEpoch) return;
    const auto now = suggestionStatement();
    if (!now) return;
    if (epoch != m_suggestionEpoch || *now != answer.sqlText) {
        // Typed on meanwhile: this answer is for an older text; the latest is asked for.
        runAction([this] { askSuggestions(); });
        return;
    }
    runAction([&] {
        m_suggestionsWanted.reset();
        SelDBGrid->show();
        SelDBGrid->raise();
        m_suggestionsFor.clear();
        dataModule().LoadAnswer(std::move(answer), Cds_SelItem);
        m_suggestionsFor = *now;
    });
}

void TKVR_MainForm::QueryEditKey(int key, bool press) {
    if (QueryEdit->text().isEmpty()) {
        hideSuggestions();
        return;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        // One press of Enter is one search: the release does nothing more.
        if (!press) return;
        hideSuggestions();
        // The suggestions shown may be those of an older text, typed faster than the service
        // answers: the rule looks at the text as it stands, whose suggestions are asked for
        // now, as a search is.
        if (const auto now = suggestionStatement(); now && *now != m_suggestionsFor) {
            CursorGuard cursor(platform(), Cursor::DatabaseWait);
            composeSuggestion(ADOQuery1);
            m_suggestionsFor.clear();
            dataModule().QueryInto(ADOQuery1.text(), Cds_SelItem);
            m_suggestionsFor = *now;
        }
        if (Cds_SelItem.active() && Cds_SelItem.recordCount() > 0)
            QuerySpeedButtonClick();
        else
            QueryEdit->clear();
    } else if (key == Qt::Key_Escape) {
        hideSuggestions();
    }
}

void TKVR_MainForm::QuerySpeedButtonClick() {
    const std::string text = QueryEdit->text().toStdString();
    if (text.empty()) {
        hideSuggestions();
        return;
    }
    const Category c = activeCategory();
    const auto region = selectedRegion();
    if (BrowserStatements::byRegion(c) && !region) {
        platform().message("请选择地区查询");
        return;
    }
    CursorGuard cursor(platform(), Cursor::DatabaseWait);
    BrowserStatements::search(ADOQuery1, c, browserPeriod, region.value_or(""), text);
    DataSet* target[] = {&Cds_XXJ, &Cds_CJJ, &Cds_MMJ, &Cds_CSJ};
    auto& what = shown[static_cast<std::size_t>(c)];
    what.clear();
    updateStatusLine();  // a failed query leaves no word of the one before
    dataModule().QueryInto(ADOQuery1.text(), *target[static_cast<int>(c)]);
    const std::string captions[] = {"信息价", "成交价", "苗木价", "厂商报价"};
    what = captions[static_cast<int>(c)] +
           (BrowserStatements::byRegion(c) ? " · " + region.value_or("") : std::string()) + " · " +
           browserPeriod.substr(0, 4) + "年" + browserPeriod.substr(4) + "月 · “" + text + "”";
    TDBGrid* grids[] = {XXMDBGrid, CJMDBGrid, MMMDBGrid, CSMDBGrid};
    grids[static_cast<int>(c)]->setDescription(QString::fromStdString(what));
    updateStatusLine();
    hideSuggestions();
}

void TKVR_MainForm::SelDBGridKeyUp(int key) {
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        // Enter chooses the highlighted suggestion, as a click does; the box keeps the focus.
        QueryEdit->setFocus(Qt::OtherFocusReason);
        SelDBGridCellClick();
    } else if (key == Qt::Key_Escape) {
        hideSuggestions();
        QueryEdit->setFocus(Qt::OtherFocusReason);
    }
}

void TKVR_MainForm::SelDBGridColExit() {
    hideSuggestions();
}

void TKVR_MainForm::SelDBGridCellClick() {
    if (!Cds_SelItem.active() || Cds_SelItem.recordCount() == 0) {
        QueryEdit->clear();
        return;
    }
    {
        // The chosen name is searched for at once: suggestions for it would only be thrown away,
        // and the search would wait for them on the connection.
        const QSignalBlocker quiet(QueryEdit);
        QueryEdit->setText(QString::fromStdString(Cds_SelItem.fieldByName("ITEMDESC").asText()));
    }
    hideSuggestions();
    QuerySpeedButtonClick();
}

void TKVR_MainForm::SpeedButton3Click() {
    DataSet* target[] = {&Cds_XXJ, &Cds_CJJ, &Cds_MMJ, &Cds_CSJ};
    target[static_cast<int>(activeCategory())]->close();
    shown[static_cast<std::size_t>(activeCategory())].clear();
    updateStatusLine();
}

void TKVR_MainForm::SpeedButton2Click() {
    close();
}

void TKVR_MainForm::wwwSpeedButtonClick() {
    if (close() && app().terminate) app().terminate();
}

void TKVR_MainForm::closeEvent(QCloseEvent* event) {
    // An administration window with unsaved role flips is asked first: its 取消, or a save that
    // fails, keeps both windows open. Closing this window ends the program, and the flips
    // would be lost without a word.
    for (TFrm_ProcGrant* admin : findChildren<TFrm_ProcGrant*>()) {
        if (admin->isVisible() && !admin->close()) {
            event->ignore();
            return;
        }
    }
    event->accept();
    ClientSettings::saveGeometry(*this, QStringLiteral("main"));
    ClientSettings::setLastTab(QStringLiteral("category"), PageControl3->currentIndex());
    runAction([this] { FormClose(); });
}

void TKVR_MainForm::FormClose() {
    if (m_closed) return;
    m_closed = true;
    // Suggestions on their way are abandoned: the session's release goes out on the connection
    // at once.
    m_suggestionQuery.reset();
    Timer1->stop();
    // The session first, then the data access module and the login window, which ends the
    // program; then this window goes.
    SessionRegistry::sendRelease(ADOQuery1, USERID);
    if (Tarvelo) {
        Tarvelo->closeDataModule();
        Tarvelo->close();
    }
    KVR_MainForm = nullptr;
    deleteLater();
}

}  // namespace tarvelo
