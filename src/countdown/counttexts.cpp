#include "counttexts.h"

#include <cmath>

#include <QCoreApplication>

namespace
{
// The texts' context in the translations.
struct CountTexts
{
    Q_DECLARE_TR_FUNCTIONS(CountTexts)
};
} // namespace

QString endNotice(CountEnd end, const QString &actionName)
{
    switch (end) {
    case CountEnd::ActionDisabled:
        return CountTexts::tr("Fin du décompte : action « %1 » non lancée, exécution désactivée.").arg(actionName);
    case CountEnd::ActionFailed:
        return CountTexts::tr("Fin du décompte : échec de l'action « %1 ».").arg(actionName);
    case CountEnd::ActionStarted:
        break;
    }
    return CountTexts::tr("Fin du décompte : action « %1 » lancée.").arg(actionName);
}

QString idleHoldReason(bool actionEnabled, const QString &actionName, const QDateTime &now, double remainingSeconds)
{
    const double remainingMs = std::ceil(remainingSeconds * 1000);
    QString when;
    if (remainingMs >= 0 && remainingMs < 1e14) {
        const QDateTime due = now.addMSecs(qint64(remainingMs));
        //: A date and time format: letters that are no field stand between quotes.
        const QString dayAndTime = CountTexts::tr("dd/MM/yyyy à HH:mm:ss");
        when = due.date() == now.date()
            ? CountTexts::tr(" prévue à %1").arg(due.toString(QStringLiteral("HH:mm:ss")))
            : CountTexts::tr(" prévue le %1").arg(due.toString(dayAndTime));
    }
    return actionEnabled ? CountTexts::tr("Exécution de « %1 »%2").arg(actionName, when)
                         : CountTexts::tr("Fin du décompte de « %1 » (exécution désactivée)%2").arg(actionName, when);
}
