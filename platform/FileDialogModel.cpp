#include "platform/FileDialogModel.h"

#include <QFileSystemModel>
#include <QLocale>

namespace tarvelo {

namespace {

enum Column { Size = 1, DateModified = 3 };

}  // namespace

QVariant FileDialogModel::data(const QModelIndex& index, int role) const {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (!files || role != Qt::DisplayRole ||
        (index.column() != Size && index.column() != DateModified))
        return QIdentityProxyModel::data(index, role);
    const QModelIndex source = mapToSource(index);
    if (index.column() == DateModified)
        return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
    // A folder has no size shown; keep the file system model's choice of text for it.
    if (files->isDir(source)) return QIdentityProxyModel::data(index, role);
    // 1 KB = 1024 bytes, as file sizes are written in Chinese file managers.
    return QLocale().formattedDataSize(files->size(source), 2, QLocale::DataSizeTraditionalFormat);
}

}  // namespace tarvelo
