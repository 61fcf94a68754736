#pragma once

#include <QString>
#include <QStringList>

class QTranslator;

// The language the program speaks, as a language code ("fr", "en"). Its texts
// are written in French; every other language is a catalogue of translations
// compiled into the program. What is stored (the settings file) never
// depends on the language.

// "fr", and the code of every catalogue compiled into the program.
QStringList availableLanguages();

// The language for a user's preferred languages, best first, as
// QLocale::uiLanguages() gives them: the first one of those available.
// French for the C locale and when none of them is available.
QString chooseLanguage(const QStringList &uiLanguages, const QStringList &available);

// The translator of the program's own texts into a language; an empty one
// for French, whose texts are the program's own. Needs no application
// object, so that --help speaks the language too.
QTranslator *programTranslator(const QString &language);

// Installs the program's texts in that language, the toolkit's own texts
// (file dialog, message box buttons, context menus) and the locale of its
// dialogs' dates and sizes. The translator given is taken over.
void installLanguage(const QString &language, QTranslator *program);
