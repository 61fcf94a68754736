#include "launcher.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QWidget>

#include "services.h"

namespace {

// The launcher's texts, for the translations.
struct Launcher
{
    Q_DECLARE_TR_FUNCTIONS(Launcher)
};

QString absolutePath(const QString &path)
{
    // An empty directory line leaves the path relative to the current directory.
    return QFileInfo(path).absoluteFilePath();
}

QString startFailedMessage(const QString &targetLine)
{
    return Launcher::tr("L'éxécution de %1 a provoqué une erreur !\n\nReconsidérer votre action ...").arg(targetLine);
}

} // namespace

QString plausibleProgramName(const QString &targetLine)
{
    const qsizetype dot = targetLine.indexOf(QLatin1Char('.'));
    const qsizetype cutLength = qMin(dot + 1 + 3, targetLine.size()); // dot == -1: p is 0
    if (cutLength == targetLine.size() || targetLine.at(cutLength) == QLatin1Char(' '))
        return targetLine.left(cutLength);
    // Leading spaces belong to the name, so that the message never names nothing.
    qsizetype start = 0;
    while (start < targetLine.size() && targetLine.at(start) == QLatin1Char(' '))
        ++start;
    const qsizetype space = targetLine.indexOf(QLatin1Char(' '), start);
    return space < 0 ? targetLine : targetLine.left(space);
}

ActionPlan planAction(const QString &targetLine, const QString &directory, Services &services)
{
    ActionPlan plan;
    if (targetLine.isEmpty())
        return plan;
    plan.workingDirectory = directory;

    // The whole line first, so that names with spaces or without an extension
    // are never cut short.
    const QString wholePath = directory + targetLine;
    if (services.pathExists(wholePath)) {
        plan.programName = targetLine;
        plan.path = absolutePath(wholePath);
        plan.kind = services.isExecutableProgram(wholePath) ? ActionPlan::Kind::RunProgram
                                                            : ActionPlan::Kind::Open;
        return plan;
    }

    // A program followed by parameters. Only a regular file can be the program:
    // a directory whose name begins the line must not hide a longer program name.
    for (qsizetype space = targetLine.indexOf(QLatin1Char(' ')); space >= 0;
         space = targetLine.indexOf(QLatin1Char(' '), space + 1)) {
        if (space == 0)
            continue;
        const QString part = targetLine.left(space);
        if (!services.isRegularFile(directory + part))
            continue;
        plan.kind = ActionPlan::Kind::CommandLine;
        plan.programName = part;
        // Absolute, so that the start never searches PATH for it.
        plan.path = absolutePath(directory + part);
        plan.arguments = QProcess::splitCommand(targetLine.mid(space + 1));
        return plan;
    }

    plan.kind = ActionPlan::Kind::Missing;
    plan.programName = plausibleProgramName(targetLine);
    return plan;
}

LaunchTexts LaunchTexts::action()
{
    return {Launcher::tr("Minutrex - Action"), Launcher::tr("Aucun fichier cible !"), QString()};
}

LaunchTexts LaunchTexts::simulation()
{
    return {Launcher::tr("Minutrex - Simulation"),
            Launcher::tr("Aucun fichier cible !\n\nCliquer sur \"Parcourir ...\" pour sélectionner un fichier"),
            Launcher::tr("\n\nCliquer sur \"Parcourir ...\" pour sélectionner un fichier valide")};
}

void launchAction(const QString &targetLine, const QString &directory, QWidget *owner, const LaunchTexts &texts,
                  Services &services, std::function<void(const LaunchOutcome &)> done)
{
    const ActionPlan plan = planAction(targetLine, directory, services);
    auto failed = [&texts](const QString &message) { return LaunchOutcome{false, texts.title, message}; };
    switch (plan.kind) {
    case ActionPlan::Kind::NoTarget:
        done(failed(texts.noTarget));
        return;
    case ActionPlan::Kind::Missing:
        done(failed(Launcher::tr("Le fichier %1 n'existe pas dans le dossier %2").arg(plan.programName, directory)
                    + texts.missingSuffix));
        return;
    case ActionPlan::Kind::Open:
        // A failing opener counts as a failed start: the caller must not close
        // as if the action had been carried out.
        services.openWithDesktop(owner, plan.path,
                                 [done = std::move(done), failure = failed(startFailedMessage(targetLine))](
                                     bool started) { done(started ? LaunchOutcome{} : failure); });
        return;
    case ActionPlan::Kind::RunProgram:
    case ActionPlan::Kind::CommandLine:
        if (services.startProgram(plan.path, plan.arguments, plan.workingDirectory))
            done(LaunchOutcome{});
        else
            done(failed(startFailedMessage(targetLine)));
        return;
    }
}

void showLaunchFailure(QWidget *owner, const LaunchOutcome &outcome, Services &services)
{
    if (!outcome.started)
        services.messageBox(owner, outcome.message, Services::Icon::Exclamation, outcome.title);
}
