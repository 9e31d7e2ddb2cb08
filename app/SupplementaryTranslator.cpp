#include "app/SupplementaryTranslator.h"

#include <cstring>

namespace tarvelo {

namespace {

struct Text {
    const char* context;
    const char* source;
    const char* chinese;
};

// The words follow Qt's own Chinese for the same texts elsewhere (QFileDialog's "Folder",
// "Drive", ...), so the dialog reads alike wherever a name comes from.
constexpr Text kTexts[] = {
    // The "Type" column of the file dialog (Qt 6 moved these from QFileDialog's context).
    {"QAbstractFileIconProvider", "Drive", "驱动器"},
    {"QAbstractFileIconProvider", "Folder", "文件夹"},
    {"QAbstractFileIconProvider", "File Folder", "文件夹"},
    {"QAbstractFileIconProvider", "File", "文件"},
    {"QAbstractFileIconProvider", "Shortcut", "快捷方式"},
    {"QAbstractFileIconProvider", "Alias", "别名"},
    {"QAbstractFileIconProvider", "Unknown", "未知"},
    // Qt's Chinese keeps the key names as the keys are labelled ("Ctrl", "Shift"); the long name
    // of the Ctrl key was left out.
    {"QShortcut", "Control", "Ctrl"},
};

}  // namespace

QString SupplementaryTranslator::translate(const char* context, const char* sourceText, const char*,
                                           int) const {
    if (!context || !sourceText) return {};
    for (const Text& t : kTexts)
        if (std::strcmp(t.context, context) == 0 && std::strcmp(t.source, sourceText) == 0)
            return QString::fromUtf8(t.chinese);
    return {};
}

}  // namespace tarvelo
