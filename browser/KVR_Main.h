#pragma once

#include <array>

#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/DataSet.h"
#include "data/PriceTable.h"
#include "import/ImportUnit.h"
#include "service/BackgroundQuery.h"
#include "text/StatementBuffer.h"

class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QListWidget;
class QSplitter;
class QTabWidget;
class QTimer;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace tarvelo {

class TDBGrid;
class TDataSource;
class TIISdmPtr;

// The main window of a signed-in user: the information centre (navigation tree, item list,
// search with suggestions, the four price grids) and the data centre. Closing it releases the
// session and ends the program.
class TKVR_MainForm : public QWidget {
    Q_OBJECT
public:
    explicit TKVR_MainForm(QWidget* owner = nullptr);
    ~TKVR_MainForm() override;  // FormDestroy

    // The signed-in user, written by the login before the window is shown.
    std::string USERID;
    std::string USERNAME;
    std::string SYSBZ;
    std::string DATABZ;

    // Periods "YYYYMM": the information centre's and the data centre's.
    std::string browserPeriod;
    std::string importPeriod;
    std::string startDirectory;      // the working directory when the window was built
    std::string lastWorkbookFolder;  // where the workbook dialog opens: the last one's folder

    QTabWidget* PageControl1;
    QWidget* TS_User;    // "信息中心"
    QWidget* TS_Admin;   // " 数据中心 "
    QWidget* TabSheet1;  // "StreamTest", never shown

    // The information centre.
    QWidget* Panel3;
    QLabel* Label2;
    QTimer* Timer1;
    QSplitter* Splitter1;
    QWidget* Panel2;
    QTreeWidget* TV_TreeL = nullptr;
    TDBGrid* DBGrid1;
    QWidget* Panel4;
    QWidget* TitlePanel;
    QCheckBox* YMCheckBox;
    QDateEdit* YMDateTimePicker;
    QLineEdit* QueryEdit;
    QToolButton* QuerySpeedButton;  // "搜 索"
    QToolButton* SpeedButton3;      // "清屏"
    QToolButton* SpeedButton2;      // "退出": closes the window
    QToolButton* wwwSpeedButton;    // closes the window and ends the program
    TDBGrid* SelDBGrid = nullptr;
    QTabWidget* PageControl3;
    // Under the price grids: what the active tab shows (category, region, period, search text)
    // and how many rows, or that a search found nothing.
    QLabel* StatusLine;
    QWidget* TS_XXJ;
    QWidget* TS_CJJ;
    QWidget* TS_MMJ;
    QWidget* TS_CSJ;
    QListWidget* lv1;
    QListWidget* lv2;
    TDBGrid* XXMDBGrid;
    TDBGrid* CJMDBGrid;
    TDBGrid* MMMDBGrid;
    TDBGrid* CSMDBGrid;

    // The data centre (import/DataCentre.cpp).
    QLineEdit* QueryDBEdit;
    QDateEdit* QueryDateTimePicker;
    QToolButton* QueryTB;
    QToolButton* TransferTB;
    QToolButton* RefreshTB;
    QToolButton* UserTB;
    QToolButton* LoadTB;
    QToolButton* ExitTB;
    QTabWidget* PageControl2;
    QWidget* TS_XXJD;
    QWidget* TS_CJJD;
    QWidget* TS_MMJD;
    QWidget* TS_CSJD;
    TDBGrid* XXJDDBGrid;
    TDBGrid* CJJDDBGrid;
    TDBGrid* MMJDDBGrid;
    TDBGrid* CSJDDBGrid;
    TDBGrid* QueryDBGrid;  // the pick list of targets

    DataSet Cds_Region, Cds_ICEXT, Cds_Item, Cds_SelItem;
    DataSet Cds_XXJ, Cds_CJJ, Cds_MMJ, Cds_CSJ;
    DataSet Cds_XXJD, Cds_CJJD, Cds_MMJD, Cds_CSJD;
    TDataSource *Ds_Item, *Ds_SelItem, *Ds_XXJ, *Ds_CJJ, *Ds_MMJ, *Ds_CSJ;
    TDataSource *Ds_XXJD, *Ds_CJJD, *Ds_MMJD, *Ds_CSJD;
    TDataSource *Ds_Region, *Ds_ICEXT;
    StatementBuffer ADOQuery1;

    // What each category's grid holds, as the status line names it; empty when it holds nothing.
    std::array<std::string, 4> shown;

    // The search box's marker: "查" once it had the focus, "点" after an item was copied into it.
    std::string marker;

    void FormShow();
    void updateStatusLine();
    // "价格走势" of the current row of a category's grid.
    void showTrend(Category category);
    void PageControl3Change();
    void YMDateTimePickerCloseUp();
    void Timer1Timer();
    void SelectTopNode(const QString& text);
    void SelectChildNode(const QString& parentText, const QString& text);
    void TV_TreeLClick();
    void lv1Click();
    void lv2Click();
    void DBGrid1CellClick();
    // `byUser`: the user entered the box (a click, Tab, a shortcut), rather than the focus
    // coming back to it with a page or from the program.
    void QueryEditEnter(bool byUser = true);
    void QueryEditExit();
    void QueryEditChange();
    void QueryEditKey(int key, bool press);
    void QuerySpeedButtonClick();
    void SelDBGridKeyUp(int key);
    void SelDBGridColExit();
    void SelDBGridCellClick();
    void SpeedButton3Click();
    void SpeedButton2Click();
    void wwwSpeedButtonClick();

    // The data centre.
    void TransferTBClick();
    void QueryTBClick();
    void PageControl2Change();
    void QueryDBEditEnter();
    void QueryDBEditKeyPress(int key);
    void QueryDBGridCellClick();
    void RefreshTBClick();
    void ExitTBClick();
    void ResetImportDatasets();
    // The pick list of the active page: regions, material classes, or none.
    void showPickList();
    void LoadTBClick();
    void UserTBClick();
    void QueryDateTimePickerCloseUp();
    // Appends the rows of the active worksheet of `path` to the page's import dataset (open, its
    // change log on) and returns how many; cells whose text cannot reach the service unchanged
    // are stored fitted and listed in `changes`. On failure shows "打开Excel失败。" (with which
    // cell and why on the next line) and returns nullopt.
    std::optional<int> ReadImportWorkbook(const std::string& path, Category page,
                                          const std::string& target,
                                          std::vector<CellChange>& changes);
    Category activeImportPage() const;
    DataSet& importDataSet(Category page);

    // The category of the active tab of PageControl3.
    Category activeCategory() const;

    // Whether suggestions have been asked for and their answer not yet taken in.
    bool suggestionsPending() const { return m_suggestionsAsked; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void FormClose();

private:
    void buildInformationCentre();
    void buildDataCentre();
    // Whether the import target can reach the service unchanged and fits its column; says why
    // not, and takes the focus to the box, when it cannot.
    bool targetFits(const ImportUnit& unit, const std::string& target);
    // After a replacement: tells the user when the unit holds other than the `read` rows just
    // stored (another user's rows stored meanwhile).
    void checkReplacedUnit(const ImportUnit& unit, const std::string& target, int read);
    void layOutTitlePanel();
    // The suggestions and the pick list float over their pages: each is made to end on its page.
    void fitFloatingLists();
    // The text of the selected second-level node, or nullopt when none is selected.
    std::optional<std::string> selectedRegion() const;
    // The data access module; an error (for the error box) once it is closed.
    TIISdmPtr& dataModule() const;

    // The suggestion statement for the box as it is now; nullopt when the box sends none (no
    // text, an item just copied in, no region where the category needs one).
    std::optional<std::string> suggestionStatement();
    // Puts that statement into `into` (cleared first); false when the box sends none.
    bool composeSuggestion(StatementBuffer& into);
    // Sends the statement for the latest text beside the window's calls, unless one is in flight
    // already: its answer asks again.
    void askSuggestions();
    // Hides the suggestion grid: whatever suggestions are on their way stay unshown.
    void hideSuggestions();
    void suggestionsArrived(unsigned epoch, BackgroundQuery::Answer answer);

    // The suggestions' own reader: typing goes on while it is answered.
    std::unique_ptr<BackgroundQuery> m_suggestionQuery;
    bool m_suggestionsAsked = false;
    // Counts the program's hidings of the suggestion grid: a change of text wants suggestions
    // shown only until the grid is hidden (a search, Enter, Escape, a node or tab).
    unsigned m_suggestionEpoch = 0;
    std::optional<unsigned> m_suggestionsWanted;  // the epoch of the latest change that wants them
    std::string m_suggestionsFor;                 // the statement whose answer Cds_SelItem holds

    bool m_closed = false;
    std::uintptr_t m_savedLayout = 0;
    bool m_hasSavedLayout = false;
};

}  // namespace tarvelo
