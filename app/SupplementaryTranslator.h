#pragma once

#include <QTranslator>

namespace tarvelo {

// The Chinese of Qt's own texts that Qt's translation (qtbase_zh_CN) leaves out: the type names
// of the file dialog's list ("Folder", "Drive", ...) and a key name. Installed after Qt's
// translator, it is asked first and answers only for the texts it knows; everything else falls
// through to Qt's translation. Safe to ask from any thread (the file list names its types in a
// thread of its own).
class SupplementaryTranslator : public QTranslator {
public:
    using QTranslator::QTranslator;
    QString translate(const char* context, const char* sourceText,
                      const char* disambiguation = nullptr, int n = -1) const override;
    bool isEmpty() const override { return false; }
};

}  // namespace tarvelo
