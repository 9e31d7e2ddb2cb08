#pragma once

namespace tarvelo {

// Qt's own texts (the file dialog, the calendar, context menus, standard buttons) in Chinese,
// from the translations scripts/setup installs and, for the few texts those lack, from our
// SupplementaryTranslator; and Chinese month and day names. Returns false when Qt's translation
// could not be loaded (its texts then stay English).
bool installChineseLocale();

}  // namespace tarvelo
