#include "aboutbox.h"

#include <QStringList>

#include "minutrexversion.h"
#include "services.h"

void showAboutBox(QWidget *owner, Services &services)
{
    const QStringList lines{QStringLiteral("Minutrex v" MINUTREX_VERSION), QStringLiteral("Décembre 2006"),
                            QStringLiteral("Auteur : l'équipe Minutrex"),
                            QStringLiteral("https://minutrex.example.org")};
    services.messageBox(owner, lines.join(QLatin1Char('\n')), Services::Icon::Information,
                        QStringLiteral("About"));
}
