#include "toolkittexts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace
{
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
}

bool installFrenchToolkitTexts()
{
    // The program's language, for the toolkit's own dialogs too: dates,
    // sizes and the kinds of files in the file dialog follow it rather than
    // the system's locale.
    const QLocale language(QLocale::French, QLocale::France);
    QLocale::setDefault(language);

    // Installed first, so the catalogue installed after it is asked first.
    QCoreApplication::installTranslator(new MissingFrenchTexts(QCoreApplication::instance()));
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(language, QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        && QCoreApplication::installTranslator(translator))
        return true;
    delete translator;
    return false;
}
