#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QLocale>
#include <QPointer>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTranslator>

#include "busprobe.h"
#include "counter.h"
#include "lines.h"
#include "minutrexversion.h"
#include "language.h"
#include "systemservices.h"

namespace
{

// The command line's texts are translated before any application object
// exists: --help and its mistakes need no display.
const QTranslator *commandLineTranslator = nullptr;

QString said(const char *source)
{
    const QString translated =
        commandLineTranslator ? commandLineTranslator->translate("CommandLine", source) : QString();
    return translated.isEmpty() ? QString::fromUtf8(source) : translated;
}

const char usage[] = QT_TRANSLATE_NOOP("CommandLine", "Usage : minutrex [--config FICHIER] [--help] [--version]");

const char helpText[] = QT_TRANSLATE_NOOP("CommandLine",
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
    "$XDG_CONFIG_HOME/Minutrex/ (~/.config/Minutrex/) pour une copie installée.\n");

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
            line.error = said(QT_TRANSLATE_NOOP("CommandLine", "option inconnue %1")).arg(dashed(unknown.first()));
        else if (parser.errorText().startsWith(QLatin1String("Missing value")))
            line.error = said(QT_TRANSLATE_NOOP("CommandLine", "l'option %1 attend un nom de fichier")).arg(quoted);
        else
            line.error = said(QT_TRANSLATE_NOOP("CommandLine", "l'option %1 n'accepte pas de valeur")).arg(quoted);
        return line;
    }
    if (!parser.positionalArguments().isEmpty()) {
        line.error = said(QT_TRANSLATE_NOOP("CommandLine", "argument inattendu %1"))
                         .arg(parser.positionalArguments().first());
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
                line.error = said(QT_TRANSLATE_NOOP("CommandLine", "l'option --config attend un nom de fichier"));
                return line;
            }
            line.settingsFile = QFileInfo(file).absoluteFilePath();
        }
    }
    return line;
}

const char noDisplay[] = QT_TRANSLATE_NOOP("CommandLine",
                                           "minutrex : aucun écran où afficher la fenêtre (DISPLAY et "
                                           "WAYLAND_DISPLAY ne mènent à aucun affichage).\n");
QByteArray noDisplayLine; // in the user's language, ready before the toolkit starts

// While the toolkit opens the display: what it says is kept back, and a
// failure to open any display ends the program with one line of our own
// instead of an abort and a core dump.
QList<std::pair<QtMsgType, QString>> heldMessages;
QtMessageHandler toolkitHandler = nullptr;

void holdToolkitMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtFatalMsg) {
        std::fputs(noDisplayLine.constData(), stderr);
        ::_exit(1);
    }
    heldMessages.append({type, message});
    Q_UNUSED(context);
}

void releaseToolkitMessages()
{
    qInstallMessageHandler(toolkitHandler);
    for (const auto &[type, message] : std::as_const(heldMessages))
        qt_message_output(type, QMessageLogContext(), message);
    heldMessages.clear();
}

bool platformChosen(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "-platform" || argument == "--platform" || argument.startsWith("-platform=")
            || argument.startsWith("--platform="))
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    // What the programs it starts get: the environment as it was given, before
    // anything below adds to it.
    const QProcessEnvironment startEnvironment = QProcessEnvironment::systemEnvironment();
    // A file-size limit must make a save fail with a message, not end the program.
    std::signal(SIGXFSZ, SIG_IGN);

    // The user's language, from the locale alone, for everything said from here on.
    const QString language = chooseLanguage(QLocale::system().uiLanguages(), availableLanguages());
    QTranslator *translator = programTranslator(language);
    commandLineTranslator = translator;
    noDisplayLine = said(noDisplay).toLocal8Bit();

    const CommandLine commandLine = readCommandLine(argc, argv);
    switch (commandLine.request) {
    case CommandLine::Request::Help:
        std::fputs(said(helpText).toLocal8Bit().constData(), stdout);
        return 0;
    case CommandLine::Request::Version:
        std::fputs("Minutrex " MINUTREX_VERSION "\n", stdout);
        return 0;
    case CommandLine::Request::Error:
        std::fprintf(stderr, "minutrex : %s. %s\n", commandLine.error.toLocal8Bit().constData(),
                     said(usage).toLocal8Bit().constData());
        return 2;
    case CommandLine::Request::Run:
        break;
    }

    if (!platformChosen(argc, argv) && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fputs(noDisplayLine.constData(), stderr);
        return 1;
    }

    // Native on a Wayland desktop (Qt would otherwise pick X11 on some of
    // them), X11 where no compositor answers; a platform chosen by the user
    // is left alone.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "wayland;xcb");

    // A bus that takes connections and never answers would hold the toolkit's
    // own accessibility and theme code before the first window: about a
    // second to answer, or it is left alone for the whole run.
    BusProbe::silenceMuteBuses(BusProbe::DefaultTimeoutMs);

    toolkitHandler = qInstallMessageHandler(holdToolkitMessage);
    QApplication app(argc, argv);
    releaseToolkitMessages();
    QApplication::setApplicationName(QStringLiteral("Minutrex"));
    QApplication::setApplicationVersion(QStringLiteral(MINUTREX_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.example.minutrex"));
    // The settings window is shown while the main window is hidden; the
    // program ends when the main window is unloaded, not before.
    QApplication::setQuitOnLastWindowClosed(false);
    installFontSubstitutions();
    commandLineTranslator = nullptr;
    installLanguage(language, translator);

    SystemServices services;
    services.setChildEnvironment(startEnvironment);
    LignMatArray LignMat;

    QPointer<Counter> counter = new Counter(services, LignMat);
    if (!commandLine.settingsFile.isEmpty())
        counter->useSettingsFile(commandLine.settingsFile);
    // A settings file that cannot be used at start-up: the program ends with a
    // failure status once the user has read why.
    QObject::connect(counter, &Counter::startFailed, &app, [] { QCoreApplication::exit(1); });
    if (counter->Form_Initialize()) {
        QObject::connect(counter, &QObject::destroyed, &app, &QCoreApplication::quit);
        counter->show();
    }
    const int status = app.exec();
    delete counter.data(); // still there after a failed start
    services.finishSession();
    return status;
}
