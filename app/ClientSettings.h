#pragma once

#include <QString>
#include <string>
#include <vector>

class QWidget;

namespace tarvelo {

// What the client remembers between runs, for each user of the computer (Qt's settings: on
// Linux ~/.config/Tarvelo/tarvelo.conf): the last account id of the login box (never a
// password), window sizes and positions, column widths a user dragged, the last category tab,
// and the folders of the last workbook and the last export.
class ClientSettings {
public:
    static QString lastAccount();
    static void setLastAccount(const QString& id);

    // A window's size and position under `key`; restore() returns false when none is kept.
    // A place no screen shows any longer is moved onto one.
    static void saveGeometry(const QWidget& window, const QString& key);
    static bool restoreGeometry(QWidget& window, const QString& key);

    // Column widths of the grid named `grid`, in pixels; empty when none are kept.
    static std::vector<int> columnWidths(const QString& grid);
    static void setColumnWidths(const QString& grid, const std::vector<int>& widths);

    static int lastTab(const QString& key, int fallback);
    static void setLastTab(const QString& key, int index);

    // "workbook" or "export"; empty when none is kept.
    static std::string folder(const QString& which);
    static void setFolder(const QString& which, const std::string& folder);
};

}  // namespace tarvelo
