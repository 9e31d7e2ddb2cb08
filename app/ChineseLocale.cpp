#include "app/ChineseLocale.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/SupplementaryTranslator.h"

namespace tarvelo {

bool installChineseLocale() {
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    QLocale::setDefault(chinese);
    // Both live as long as the program. The supplement goes in last, so it is asked first.
    static QTranslator qtTexts;
    static SupplementaryTranslator missingTexts;
    const bool loaded = qtTexts.load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"),
                                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
                        QCoreApplication::installTranslator(&qtTexts);
    QCoreApplication::installTranslator(&missingTexts);
    return loaded;
}

}  // namespace tarvelo
