#include "widgets/FormParts.h"

#include <QToolButton>

#include "data/DataSet.h"

namespace tarvelo {

QString q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QFont kai(int pixels, bool bold) {
    QFont f(QStringLiteral("楷体"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

QToolButton* button(QWidget* parent, const QString& caption) {
    auto* b = new QToolButton(parent);
    b->setText(caption);
    b->setAutoRaise(true);
    return b;
}

std::vector<GridColumn> columns(
    std::initializer_list<std::tuple<const char*, const char*, int>> list) {
    std::vector<GridColumn> out;
    for (const auto& [field, title, width] : list)
        out.push_back({QString::fromUtf8(field), QString::fromUtf8(title), width});
    return out;
}

TDataSource* source(DataSet& ds, QObject* parent, std::vector<GridColumn> cols) {
    auto* s = new TDataSource(ds, parent);
    s->setColumns(std::move(cols));
    return s;
}

}  // namespace tarvelo
