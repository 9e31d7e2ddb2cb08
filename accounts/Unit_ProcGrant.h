#pragma once

#include <QWidget>
#include <string>

#include "data/DataSet.h"
#include "text/StatementBuffer.h"

class QToolButton;

namespace tarvelo {

class TDBGrid;
class TDataSource;

// User roles administration: every account that is no system account, its two roles as ticks,
// flipped by a click and sent on "保存". Flipped rows are drawn in amber until they are saved or
// dropped; closing the window with flips not yet saved asks whether to save them.
class TFrm_ProcGrant : public QWidget {
    Q_OBJECT
public:
    // Builds the window and loads the list (a failure to load ends the construction).
    explicit TFrm_ProcGrant(QWidget* owner = nullptr);
    ~TFrm_ProcGrant() override;

    QToolButton* SaveTB;
    QToolButton* RefreshTB;
    QToolButton* ExitTB;
    TDBGrid* DBGrid1;
    DataSet Cds_UserH;
    TDataSource* DS_UserH;
    StatementBuffer ADOQuery1;

    void DBGrid1CellClick(int column);
    void SaveTBClick();
    void RefreshTBClick();
    void ExitTBClick();
    // Whether the window may close: true without unsaved flips; otherwise as the user answers
    // the question (saved, dropped, or the window stays).
    bool FormCloseQuery();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;  // Escape closes, through the question

private:
    void loadList();
    void flip(const char* display, int character);
};

}  // namespace tarvelo
