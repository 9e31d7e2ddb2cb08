#pragma once

#include <QIdentityProxyModel>

namespace tarvelo {

// What the file dialog lists, with the sizes and dates written in the program's locale. Qt's file
// system model writes them in the locale of the system ("0 bytes", "10 Dec 2026 15:22:24" where
// the system has no Chinese locale) while every other text of the dialog follows the program's
// locale. Sorting and everything else is the file system model's own.
class FileDialogModel : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
};

}  // namespace tarvelo
