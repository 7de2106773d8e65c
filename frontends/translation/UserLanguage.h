#pragma once
// The translations for the user's language (the system locale: LANG, LC_MESSAGES, LC_ALL), from
// the catalogues installed beside the programs: Norvik's own and Qt's for its standard buttons.
// A language without a catalogue leaves every text in English.

#include <QtCore/QLocale>
#include <QtCore/QStringList>
#include <QtCore/QTranslator>

class QCoreApplication;

namespace translation {

// The base name of Norvik's catalogues: norvik_de.qm, ...
inline constexpr char kCatalogueName[] = "norvik";

// Where the installed programs find their catalogues, then the given further directories.
QStringList CatalogueDirectories(const QStringList& further = {});

class UserLanguage {
public:
    UserLanguage(const QLocale& locale, const QStringList& directories);

    // Whether Norvik's own catalogue for the language was found.
    bool Translated() const { return !own.isEmpty(); }
    const QTranslator& Own() const { return own; }

    // Both catalogues go into the application, for tr(), the form and Qt's own dialogs.
    void Install(QCoreApplication& application);

private:
    QTranslator own;
    QTranslator toolkit;
};

}  // namespace translation
