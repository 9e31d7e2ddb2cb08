#pragma once

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRawFont>
#include <QTabBar>
#include <QTableView>
#include <QWidget>

#include <string>
#include <utility>

namespace tarvelo::test {

// The characters of `text` that `font` has no glyph for (blanks and line breaks aside): what a
// user would see as empty boxes.
inline QString missingGlyphs(const QFont& font, const QString& text) {
    const QRawFont raw = QRawFont::fromFont(font);
    QString missing;
    for (const QChar ch : text)
        if (!ch.isSpace() && !raw.supportsCharacter(ch) && !missing.contains(ch)) missing += ch;
    return missing;
}

// Every text that `window` shows on its visible parts (captions, boxes, tabs, the cells and titles
// of its lists and grids), checked against the font that draws it. One line per part that lacks
// a glyph, "part: characters"; empty when every character can be drawn.
inline std::string missingGlyphs(const QWidget* window) {
    QList<std::pair<const QWidget*, QString>> lacking;  // in the order met
    const auto check = [&lacking](const QWidget* part, const QFont& font, const QString& text) {
        const QString missing = missingGlyphs(font, text);
        if (missing.isEmpty()) return;
        if (lacking.isEmpty() || lacking.back().first != part)
            lacking.append(std::pair<const QWidget*, QString>{part, QString()});
        for (const QChar ch : missing)
            if (!lacking.back().second.contains(ch)) lacking.back().second += ch;
    };
    // The cells under `parent`, each in its own font where the model gives one.
    const auto cells = [&check](const QAbstractItemView* view, const QModelIndex& parent,
                                auto& self) -> void {
        const QAbstractItemModel* model = view->model();
        for (int r = 0; r < model->rowCount(parent); ++r)
            for (int c = 0; c < model->columnCount(parent); ++c) {
                const QModelIndex i = model->index(r, c, parent);
                const QVariant font = i.data(Qt::FontRole);
                check(view, font.isValid() ? font.value<QFont>() : view->font(),
                      i.data().toString());
                if (model->hasChildren(i)) self(view, i, self);
            }
    };
    QList<const QWidget*> parts{window};
    for (const QWidget* w : window->findChildren<QWidget*>())
        parts << w;
    for (const QWidget* w : parts) {
        if (!w->isVisible()) continue;
        if (const auto* l = qobject_cast<const QLabel*>(w))
            check(l, l->font(), l->text());
        else if (const auto* b = qobject_cast<const QAbstractButton*>(w))
            check(b, b->font(), b->text());
        else if (const auto* e = qobject_cast<const QLineEdit*>(w))
            check(e, e->font(), e->echoMode() == QLineEdit::Normal ? e->text() : QString());
        else if (const auto* t = qobject_cast<const QTabBar*>(w))
            for (int i = 0; i < t->count(); ++i)
                check(t, t->font(), t->tabText(i));
        else if (const auto* v = qobject_cast<const QAbstractItemView*>(w);
                 v && v->model() && !qobject_cast<const QHeaderView*>(w)) {
            cells(v, {}, cells);
            if (const auto* grid = qobject_cast<const QTableView*>(v);
                grid && grid->horizontalHeader()->isVisible())
                for (int c = 0; c < v->model()->columnCount(); ++c)
                    check(grid->horizontalHeader(), grid->horizontalHeader()->font(),
                          v->model()->headerData(c, Qt::Horizontal).toString());
        }
    }
    std::string report;
    for (const auto& [part, missing] : lacking)
        report += (part->objectName().isEmpty() ? std::string(part->metaObject()->className())
                                                : part->objectName().toStdString()) +
                  ": " + missing.toStdString() + "\n";
    return report;
}

}  // namespace tarvelo::test
