#include "language.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace
{
const QString French = QStringLiteral("fr");
const QString CataloguePrefix = QStringLiteral(":/translations/minutrex_");

// Texts of the toolkit's file dialog that its French catalogue lacks: the
// kind shown for a folder and for the root.
class MissingFrenchTexts final : public QTranslator
{
public:
    using QTranslator::QTranslator;

    bool isEmpty() const override { return false; }

    QString translate(const char *context, const char *sourceText, const char *, int) const override
    {
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0)
            return QString();
        if (qstrcmp(sourceText, "Folder") == 0)
            return QStringLiteral("Dossier");
        if (qstrcmp(sourceText, "Drive") == 0)
            return QStringLiteral("Lecteur");
        return QString();
    }
};
} // namespace

QStringList availableLanguages()
{
    // The catalogues are compiled into this library.
    Q_INIT_RESOURCE(translations);
    QStringList languages{French};
    const QStringList catalogues = QDir(QStringLiteral(":/translations")).entryList({QStringLiteral("minutrex_*.qm")});
    for (const QString &catalogue : catalogues)
        languages << catalogue.mid(9).chopped(3); // minutrex_XX.qm
    return languages;
}

QString chooseLanguage(const QStringList &uiLanguages, const QStringList &available)
{
    for (const QString &name : uiLanguages) {
        // The C locale is the program's own language, as ever.
        if (name == QLatin1String("C") || name == QLatin1String("POSIX"))
            return French;
        const QString code = QLocale(name).name().section(u'_', 0, 0);
        if (available.contains(code))
            return code;
    }
    return French;
}

QTranslator *programTranslator(const QString &language)
{
    Q_INIT_RESOURCE(translations);
    auto *translator = new QTranslator;
    // The catalogues are built into the program; one that fails to load
    // leaves the texts in French, which every text already is.
    if (language != French && !translator->load(CataloguePrefix + language + QStringLiteral(".qm")))
        qWarning("Minutrex: no catalogue for the language %s", qPrintable(language));
    return translator;
}

void installLanguage(const QString &language, QTranslator *program)
{
    // The program's language for the toolkit's own dialogs too: dates, sizes
    // and the kinds of files in the file dialog follow it rather than the
    // system's locale.
    const QLocale locale(language);
    QLocale::setDefault(locale);

    QCoreApplication *app = QCoreApplication::instance();
    program->setParent(app);
    QCoreApplication::installTranslator(program);
    if (locale.language() == QLocale::English)
        return; // the toolkit's own texts are English
    // Installed first, so the catalogue installed after it is asked first.
    if (language == French)
        QCoreApplication::installTranslator(new MissingFrenchTexts(app));
    auto *toolkit = new QTranslator(app);
    if (toolkit->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(toolkit);
    else
        delete toolkit;
}
