#pragma once

namespace tarvelo {

// Qt's own texts (the file dialog, the calendar, context menus, standard buttons) in Chinese,
// from the translations scripts/setup installs, and Chinese month and day names. Returns false
// when the translation could not be loaded (the texts then stay English).
bool installChineseLocale();

}  // namespace tarvelo
