#include "frontends/translation/UserLanguage.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QFileInfo>
#include <QtCore/QLibraryInfo>

namespace translation {

// The program's own installation first (share/ beside its bin/, wherever it was installed), then
// the place the build was configured to install to.
QStringList CatalogueDirectories(const QStringList& further)
{
    QStringList directories;
    const QFileInfo program(QStringLiteral("/proc/self/exe"));
    const QString programDir = QFileInfo(program.canonicalFilePath()).absolutePath();
    if (program.exists()) directories += programDir + QStringLiteral("/../share/norvik/translations");
    directories += QStringLiteral(NORVIK_TRANSLATIONS_DIR);
    directories += further;
    return directories;
}

// The first directory that holds a catalogue for one of the locale's languages wins. The
// toolkit's catalogue translates the standard buttons (Yes, No, Close) of the message boxes.
UserLanguage::UserLanguage(const QLocale& locale, const QStringList& directories)
{
    for (const QString& directory : directories)
        if (own.load(locale, QLatin1String(kCatalogueName), QStringLiteral("_"), directory)) break;
    if (Translated())
        (void)toolkit.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

void UserLanguage::Install(QCoreApplication& application)
{
    if (!Translated()) return;
    if (!toolkit.isEmpty()) application.installTranslator(&toolkit);
    application.installTranslator(&own);
}

}  // namespace translation
