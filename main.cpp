#include <csignal>
#include <cstdio>

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>

#include "counter.h"
#include "lines.h"
#include "minutrexversion.h"
#include "systemservices.h"
#include "toolkittexts.h"

namespace
{

const char usage[] = "Usage : minutrex [--config FICHIER] [--help] [--version]";

const char helpText[] =
    "Usage : minutrex [OPTION]\n"
    "Décompte un délai et exécute une action à son terme : ouvre un document ou\n"
    "un dossier, ou lance un programme avec ses paramètres.\n"
    "\n"
    "Options :\n"
    "  -c, --config FICHIER  utilise ce fichier de paramètres au lieu de Minutrex.ini ;\n"
    "                        il est créé avec les valeurs de départ s'il n'existe pas.\n"
    "                        Un fichier par minuteur permet d'en lancer plusieurs.\n"
    "  -h, --help            affiche cette aide et se termine\n"
    "  -v, --version         affiche la version et se termine\n"
    "\n"
    "Sans --config, les paramètres sont dans Minutrex.ini : à côté du programme\n"
    "pour une copie lancée depuis son propre dossier, dans\n"
    "$XDG_CONFIG_HOME/Minutrex/ (~/.config/Minutrex/) pour une copie installée.\n";

// What the command line asks for. It is read before any window exists, so
// that --help and --version answer without a display.
struct CommandLine
{
    enum class Request
    {
        Run,
        Help,
        Version,
        Error
    };
    Request request = Request::Run;
    QString settingsFile; // absolute; empty for the usual place
    QString error;
};

QString dashed(const QString &name)
{
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

// Qt's own options (-style fusion, -platform wayland, ...) belong to
// QApplication, which reads them later; they are not ours to refuse.
bool isQtOption(const QString &argument, bool *takesValue)
{
    static const QStringList withValue{
        QStringLiteral("-platform"), QStringLiteral("-platformpluginpath"), QStringLiteral("-platformtheme"),
        QStringLiteral("-plugin"), QStringLiteral("-qwindowgeometry"), QStringLiteral("-qwindowicon"),
        QStringLiteral("-qwindowtitle"), QStringLiteral("-style"), QStringLiteral("-stylesheet"),
        QStringLiteral("-session"), QStringLiteral("-display"), QStringLiteral("-geometry"),
        QStringLiteral("-title"), QStringLiteral("-name"), QStringLiteral("-visual")};
    static const QStringList alone{QStringLiteral("-reverse"), QStringLiteral("-widgetcount"),
                                   QStringLiteral("-nograb"), QStringLiteral("-dograb"), QStringLiteral("-sync")};
    // Qt takes "--style" as well as "-style".
    const QString name = argument.section(u'=', 0, 0).replace(QRegularExpression(QStringLiteral("^--")), QStringLiteral("-"));
    *takesValue = withValue.contains(name) && !argument.contains(u'=');
    return withValue.contains(name) || alone.contains(name);
}

CommandLine readCommandLine(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        bool takesValue = false;
        if (i > 0 && isQtOption(argument, &takesValue)) {
            i += takesValue ? 1 : 0;
            continue;
        }
        arguments << argument;
    }

    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")}, QString());
    const QCommandLineOption config({QStringLiteral("c"), QStringLiteral("config")}, QString(),
                                    QStringLiteral("FICHIER"));
    parser.addOptions({help, version, config});

    CommandLine line;
    line.request = CommandLine::Request::Error;
    if (!parser.parse(arguments)) {
        // The parser's own texts are English; ours are French like the rest.
        const QStringList unknown = parser.unknownOptionNames();
        const QString quoted = QRegularExpression(QStringLiteral("'([^']*)'")).match(parser.errorText()).captured(1);
        if (!unknown.isEmpty())
            line.error = QStringLiteral("option inconnue %1").arg(dashed(unknown.first()));
        else if (parser.errorText().startsWith(QLatin1String("Missing value")))
            line.error = QStringLiteral("l'option %1 attend un nom de fichier").arg(quoted);
        else
            line.error = QStringLiteral("l'option %1 n'accepte pas de valeur").arg(quoted);
        return line;
    }
    if (!parser.positionalArguments().isEmpty()) {
        line.error = QStringLiteral("argument inattendu %1").arg(parser.positionalArguments().first());
        return line;
    }
    if (parser.isSet(help)) {
        line.request = CommandLine::Request::Help;
    } else if (parser.isSet(version)) {
        line.request = CommandLine::Request::Version;
    } else {
        line.request = CommandLine::Request::Run;
        if (parser.isSet(config)) {
            const QString file = parser.values(config).constLast();
            if (file.isEmpty() || file.endsWith(u'/')) {
                line.request = CommandLine::Request::Error;
                line.error = QStringLiteral("l'option --config attend un nom de fichier");
                return line;
            }
            line.settingsFile = QFileInfo(file).absoluteFilePath();
        }
    }
    return line;
}

} // namespace

int main(int argc, char *argv[])
{
    // The count runs from here: a delay of N seconds acts N seconds after the
    // launch, whatever the start-up below takes.
    const qint64 launchMs = SystemServices::bootClockMs();

    // A file-size limit must make a save fail with a message, not end the program.
    std::signal(SIGXFSZ, SIG_IGN);

    const CommandLine commandLine = readCommandLine(argc, argv);
    switch (commandLine.request) {
    case CommandLine::Request::Help:
        std::fputs(helpText, stdout);
        return 0;
    case CommandLine::Request::Version:
        std::fputs("Minutrex " MINUTREX_VERSION "\n", stdout);
        return 0;
    case CommandLine::Request::Error:
        std::fprintf(stderr, "minutrex : %s. %s\n", commandLine.error.toLocal8Bit().constData(), usage);
        return 2;
    case CommandLine::Request::Run:
        break;
    }

    // Native on a Wayland desktop (Qt would otherwise pick X11 on some of
    // them), X11 where no compositor answers; a platform chosen by the user
    // is left alone.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "wayland;xcb");

    // On X11 the window changes a few pixels three times a second: sending
    // them costs less than the round trip to the X server that shared memory
    // needs at every repaint. The setting is read when the application
    // connects, then taken back, so that nothing the timer starts inherits it;
    // a choice of the user's is left alone.
    const bool shmChosen = qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM");
    if (!shmChosen)
        qputenv("QT_XCB_NO_MITSHM", "1");
    QApplication app(argc, argv);
    if (!shmChosen)
        qunsetenv("QT_XCB_NO_MITSHM");
    QApplication::setApplicationName(QStringLiteral("Minutrex"));
    QApplication::setApplicationVersion(QStringLiteral(MINUTREX_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.example.minutrex"));
    // The settings window is shown while the main window is hidden; the
    // program ends when the main window is unloaded, not before.
    QApplication::setQuitOnLastWindowClosed(false);
    installFontSubstitutions();
    installFrenchToolkitTexts();

    SystemServices services;
    LignMatArray LignMat;

    auto *counter = new Counter(services, LignMat);
    counter->countFromLaunch(launchMs);
    if (!commandLine.settingsFile.isEmpty())
        counter->useSettingsFile(commandLine.settingsFile);
    if (!counter->Form_Initialize()) {
        delete counter;
        return 1;
    }
    QObject::connect(counter, &QObject::destroyed, &app, &QCoreApplication::quit);
    counter->show();
    return app.exec();
}
