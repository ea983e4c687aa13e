#include "app/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace lumbrel {

bool InstallChineseTranslations(QCoreApplication& app)
{
    bool all = true;
    // Qt's own from the system (Debian's qt6-translations-l10n), ours from the resources.
    const QString qtDir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const auto& [name, dir] : {std::pair{QStringLiteral("qtbase_zh_CN"), qtDir},
                                    std::pair{QStringLiteral("lumbrel_zh_CN"), QStringLiteral(":/i18n")}}) {
        auto* translator = new QTranslator(&app);
        const bool loaded = translator->load(name, dir) && QCoreApplication::installTranslator(translator);
        if (!loaded)
            delete translator;
        all = all && loaded;
    }
    return all;
}

} // namespace lumbrel
