#include "aboutbox.h"

#include <QCoreApplication>
#include <QStringList>

#include "minutrexversion.h"
#include "services.h"

namespace
{
// The about box's texts, for the translations.
struct AboutBox
{
    Q_DECLARE_TR_FUNCTIONS(AboutBox)
};
} // namespace

void showAboutBox(QWidget *owner, Services &services)
{
    const QStringList lines{QStringLiteral("Minutrex v" MINUTREX_VERSION), AboutBox::tr("Décembre 2006"),
                            AboutBox::tr("Auteur : l'équipe Minutrex"),
                            QStringLiteral("https://minutrex.example.org")};
    services.messageBox(owner, lines.join(QLatin1Char('\n')), Services::Icon::Information, AboutBox::tr("About"));
}
