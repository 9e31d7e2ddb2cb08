#include "widgets/GridSortModel.h"

#include <QCollator>
#include <QLocale>

#include <cmath>

namespace tarvelo {

namespace {

struct Key {
    int rank;  // 0 a number, 1 other text, 2 empty
    double number = 0;
    QString text;
};

Key keyOf(const QModelIndex& index) {
    const QString text = index.data().toString().trimmed();
    if (text.isEmpty()) return {2, 0, {}};
    bool ok = false;
    const double n = text.toDouble(&ok);
    if (ok && std::isfinite(n)) return {0, n, {}};
    return {1, 0, text};
}

}  // namespace

bool GridSortModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const Key l = keyOf(left), r = keyOf(right);
    // A descending sort asks with the two swapped: the ranks keep their order either way.
    if (l.rank != r.rank)
        return sortOrder() == Qt::AscendingOrder ? l.rank < r.rank : l.rank > r.rank;
    if (l.rank == 0) return l.number < r.number;
    if (l.rank == 1) {
        static const QCollator collator{QLocale(QLocale::Chinese, QLocale::China)};
        return collator.compare(l.text, r.text) < 0;
    }
    return false;
}

}  // namespace tarvelo
