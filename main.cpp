#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
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
#include "descriptorwait.h"
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

// Qt's own options (-style fusion, -platform wayland, the X11 plugin's
// -display :1, ...) belong to QApplication, which reads them later: they are
// not ours to refuse. Which arguments they are is asked of Qt itself, so the
// options of any Qt version are known: a child process hands them to a
// throw-away application, which needs no display, and says which it took.
// Nothing that application sets up stays in this process.

constexpr int QtAnswerTimeoutMs = 5000;

// Qt reads "-style=fusion" but not "--platform=offscreen"; both spellings
// have always passed, so "-name=value" is offered to Qt as two arguments.
QList<QByteArray> piecesOf(const QByteArray &argument)
{
    const qsizetype equals = argument.indexOf('=');
    if (!argument.startsWith('-') || equals < 0)
        return {argument};
    return {argument.left(equals), argument.mid(equals + 1)};
}

// In the child: writes one byte per piece, '1' for those Qt took. The X11
// plugin is tried first with a display name that cannot connect, so that it
// takes its own options before it gives up; then the "minimal" platform, which
// needs no display. The empty argument gives an option left without its value
// at the end of the command line something to take instead of ours.
[[noreturn]] void answerForQt(char *program, QList<QByteArray> pieces, int out)
{
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
    }
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &) {
        if (type == QtFatalMsg)
            ::_exit(1);
    });
    static char noValue[] = "", platform[] = "-platform", platforms[] = "xcb;minimal", display[] = "-display",
                nowhere[] = "!", theme[] = "-platformtheme", noTheme[] = "";
    std::vector<char *> given{program};
    for (QByteArray &piece : pieces)
        given.push_back(piece.data());
    for (char *ours : {noValue, platform, platforms, display, nowhere, theme, noTheme})
        given.push_back(ours);
    std::vector<char *> left = given;
    int count = int(left.size());
    left.push_back(nullptr);
    QApplication application(count, left.data());

    QByteArray taken(pieces.size(), '1');
    const auto first = given.begin() + 1;
    const auto end = first + pieces.size();
    for (int i = 1; i < count; ++i) {
        const auto at = std::find(first, end, left[size_t(i)]);
        if (at != end)
            taken[qsizetype(at - first)] = '0';
    }
    (void)!::write(out, taken.constData(), size_t(taken.size()));
    ::_exit(0);
}

QByteArray readAnswer(int fd, qsizetype size)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(QtAnswerTimeoutMs);
    QByteArray answer;
    char buffer[4096];
    while (answer.size() < size) {
        if (!waitForDescriptor(fd, POLLIN, deadline))
            break;
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        answer.append(buffer, got);
    }
    return answer;
}

// One byte per piece, '1' for those Qt takes; nothing when Qt could not be asked.
std::optional<QByteArray> askQt(char *program, const QList<QByteArray> &pieces)
{
    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0)
        return std::nullopt;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        answerForQt(program, pieces, channel[1]);
    }
    ::close(channel[1]);
    const QByteArray answer = child > 0 ? readAnswer(channel[0], pieces.size()) : QByteArray();
    ::close(channel[0]);
    if (child > 0) {
        ::kill(child, SIGKILL); // its answer is in, or late: it has nothing more to do
        ::waitpid(child, nullptr, 0);
    }
    if (answer.size() != pieces.size())
        return std::nullopt;
    return answer;
}

// The arguments (program name first) less those that Qt takes. When Qt
// cannot be asked it takes none, and an unknown option is reported as such.
QList<QByteArray> withoutQtOptions(char *program, const QList<QByteArray> &arguments)
{
    QList<QByteArray> pieces;
    QList<qsizetype> pieceOf;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        for (const QByteArray &piece : piecesOf(arguments[i])) {
            pieces << piece;
            pieceOf << i;
        }
    }
    const std::optional<QByteArray> taken = askQt(program, pieces);
    if (!taken)
        return arguments;
    QList<bool> kept(arguments.size(), false);
    kept[0] = true;
    for (qsizetype k = 0; k < pieces.size(); ++k)
        kept[pieceOf[k]] = kept[pieceOf[k]] || taken->at(k) == '0';
    QList<QByteArray> rest;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (kept[i])
            rest << arguments[i];
    }
    return rest;
}

// Our own options.
struct OwnOptions
{
    const QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QString()};
    const QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")}, QString()};
    const QCommandLineOption config{{QStringLiteral("c"), QStringLiteral("config")}, QString(),
                                    QStringLiteral("FICHIER")};
    QCommandLineParser parser;
    bool parsed = false;

    explicit OwnOptions(const QList<QByteArray> &arguments)
    {
        parser.addOptions({help, version, config});
        QStringList decoded;
        for (const QByteArray &argument : arguments)
            decoded << QString::fromLocal8Bit(argument);
        parsed = parser.parse(decoded);
    }
};

// What is wrong with a command line the parser refused. Its own texts are
// English; ours are French like the rest.
QString parseError(const QCommandLineParser &parser)
{
    const QStringList unknown = parser.unknownOptionNames();
    const QString quoted = QRegularExpression(QStringLiteral("'([^']*)'")).match(parser.errorText()).captured(1);
    if (!unknown.isEmpty())
        return said(QT_TRANSLATE_NOOP("CommandLine", "option inconnue %1")).arg(dashed(unknown.first()));
    if (parser.errorText().startsWith(QLatin1String("Missing value")))
        return said(QT_TRANSLATE_NOOP("CommandLine", "l'option %1 attend un nom de fichier")).arg(quoted);
    return said(QT_TRANSLATE_NOOP("CommandLine", "l'option %1 n'accepte pas de valeur")).arg(quoted);
}

CommandLine usageError(const QString &error)
{
    CommandLine line;
    line.request = CommandLine::Request::Error;
    line.error = error;
    return line;
}

// What a command line of our options alone asks for.
CommandLine requestOf(const OwnOptions &options)
{
    const QCommandLineParser &parser = options.parser;
    if (!parser.positionalArguments().isEmpty()) {
        return usageError(said(QT_TRANSLATE_NOOP("CommandLine", "argument inattendu %1"))
                              .arg(parser.positionalArguments().first()));
    }
    CommandLine line;
    if (parser.isSet(options.help)) {
        line.request = CommandLine::Request::Help;
    } else if (parser.isSet(options.version)) {
        line.request = CommandLine::Request::Version;
    } else if (parser.isSet(options.config)) {
        const QString file = parser.values(options.config).constLast();
        if (file.isEmpty() || file.endsWith(u'/'))
            return usageError(said(QT_TRANSLATE_NOOP("CommandLine", "l'option --config attend un nom de fichier")));
        line.settingsFile = QFileInfo(file).absoluteFilePath();
    }
    return line;
}

CommandLine readCommandLine(int argc, char *argv[])
{
    QList<QByteArray> arguments(argv, argv + argc);
    // Only an option we do not know can be Qt's: Qt is asked only then.
    if (!OwnOptions(arguments).parser.unknownOptionNames().isEmpty())
        arguments = withoutQtOptions(argv[0], arguments);
    const OwnOptions options(arguments);
    return options.parsed ? requestOf(options) : usageError(parseError(options.parser));
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
    // The count runs from here: a delay of N seconds acts N seconds after the
    // launch, whatever the start-up below takes.
    const qint64 launchMs = SystemServices::bootClockMs();
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

    // On X11 the window changes a few pixels three times a second: sending
    // them costs less than the round trip to the X server that shared memory
    // needs at every repaint. The setting is read when the application
    // connects, then taken back; a choice of the user's is left alone.
    const bool shmChosen = qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM");
    if (!shmChosen)
        qputenv("QT_XCB_NO_MITSHM", "1");
    toolkitHandler = qInstallMessageHandler(holdToolkitMessage);
    QApplication app(argc, argv);
    releaseToolkitMessages();
    if (!shmChosen)
        qunsetenv("QT_XCB_NO_MITSHM");
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
    counter->countFromLaunch(launchMs);
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
    if (!services.finishSession()) {
        // A bus greeted and then held its opening: the D-Bus library's
        // farewell at exit would wait on it with no end.
        std::fflush(nullptr);
        ::_exit(status);
    }
    return status;
}
