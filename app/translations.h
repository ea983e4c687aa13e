#pragma once

class QCoreApplication;

namespace lumbrel {

// The window is Chinese whatever the locale: installs Qt's own Simplified Chinese (the boxes'
// menus) and ours for the text areas' menu. False when one of them could not be loaded; the
// window then works with English menus.
bool InstallChineseTranslations(QCoreApplication& app);

} // namespace lumbrel
