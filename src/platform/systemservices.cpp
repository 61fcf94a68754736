#include "systemservices.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/close_range.h>
#include <ctime>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>


#include "desktopsession.h"
#include "toolkitdialogs.h"

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTimer>

namespace {

// The reasons given to the user, for the translations.
struct SystemTexts
{
    Q_DECLARE_TR_FUNCTIONS(SystemTexts)
};

// Started programs get standard input, output and error only: descriptors that
// libraries open without close-on-exec (the sound connection among them) are
// marked so just before every start.
void keepDescriptorsFromChildren()
{
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0)
        return;
    QDir fds(QStringLiteral("/proc/self/fd"));
    const QStringList names = fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        bool ok = false;
        const int fd = name.toInt(&ok);
        if (ok && fd > 2) {
            const int flags = ::fcntl(fd, F_GETFD);
            if (flags >= 0)
                ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
        }
    }
}

// mkdir -p, each new folder its owner's alone whatever the umask.
bool makePrivatePath(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st;
    if (::stat(native.constData(), &st) == 0)
        return S_ISDIR(st.st_mode);
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash > 0 && !makePrivatePath(path.left(slash)))
        return false;
    if (::mkdir(native.constData(), 0700) != 0)
        return errno == EEXIST && ::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode);
    ::chmod(native.constData(), 0700);
    return true;
}

} // namespace

SystemServices::SystemServices(int openerBoundMs)
    : m_childEnvironment(QProcessEnvironment::systemEnvironment())
    , m_openerBoundMs(openerBoundMs)
{
}

SystemServices::~SystemServices()
{
    finishSession();
}

bool SystemServices::finishSession()
{
    return !m_session || m_session->finish();
}

void SystemServices::beep()
{
    m_bell.ring();
}

namespace {

// A box that is shown and left: the count, the notice and the repaint go on
// behind it. A child of its owner, it goes with the owner if the owner is
// unloaded first. Its buttons are the caller's to add, before it is shown.
QMessageBox *leftBox(QWidget *owner, QMessageBox::Icon icon, const QString &title, const QString &text,
                     QMessageBox::StandardButtons buttons)
{
    auto *box = new QMessageBox(icon, title, QString(), buttons, owner);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(owner ? Qt::WindowModal : Qt::ApplicationModal);
    // Messages quote names and lines as stored or typed: never markup.
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    return box;
}

} // namespace

void SystemServices::messageBox(QWidget *owner, const QString &text, Icon icon, const QString &title,
                                std::function<void()> onClosed)
{
    QMessageBox *box = leftBox(owner, icon == Icon::Exclamation ? QMessageBox::Warning : QMessageBox::Information,
                               title, text, QMessageBox::Ok);
    widenForTitle(box);
    if (onClosed)
        QObject::connect(box, &QMessageBox::finished, box, [onClosed = std::move(onClosed)] { onClosed(); });
    box->show();
}

void SystemServices::question(QWidget *owner, const QString &text, const QString &title, const QStringList &answers,
                              std::function<void(int answer)> onAnswer)
{
    QMessageBox *box = leftBox(owner, QMessageBox::Question, title, text, QMessageBox::NoButton);
    QList<QAbstractButton *> buttons;
    for (const QString &answer : answers)
        buttons << box->addButton(answer, QMessageBox::AcceptRole);
    if (!buttons.isEmpty())
        box->setDefaultButton(qobject_cast<QPushButton *>(buttons.first()));
    widenForTitle(box);
    QObject::connect(box, &QMessageBox::finished, box, [box, buttons, onAnswer = std::move(onAnswer)] {
        if (onAnswer)
            onAnswer(int(buttons.indexOf(box->clickedButton())));
    });
    box->show();
}

void SystemServices::openFileName(QWidget *owner, const QString &title, const QString &filter,
                                  const QString &initialDirectory, std::function<void(const QString &chosen)> onChosen)
{
    chooseFileToOpen(owner, title, filter, initialDirectory, std::move(onChosen));
}

void SystemServices::openWithDesktop(QWidget *owner, const QString &absolutePath,
                                     std::function<void(bool started)> verdict)
{
    // No parent: destroying a QProcess kills it, and an opener still running
    // when the program ends must go on. It deletes itself when it finishes.
    auto *opener = new QProcess;
    opener->setProgram(QStringLiteral("xdg-open"));
    opener->setArguments({absolutePath});
    opener->setStandardInputFile(QProcess::nullDevice());
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    opener->setProcessEnvironment(m_childEnvironment);
    // Its own session: a hang-up to the timer's terminal or group must not
    // reach the application it starts.
    opener->setChildProcessModifier([] { ::setsid(); });

    // The first answer counts: the exit status, a failure to start, or the
    // bound. Each is delivered from the event loop, never from inside this call.
    struct Watch
    {
        bool decided = false;
        std::function<void(bool)> verdict;
        QPointer<QWidget> owner;
        bool hadOwner = false;
    };
    auto watch = std::make_shared<Watch>(Watch{false, std::move(verdict), owner, owner != nullptr});
    auto decide = [watch](bool started) {
        if (watch->decided)
            return;
        watch->decided = true;
        const auto verdict = std::move(watch->verdict);
        if (watch->hadOwner && !watch->owner)
            return; // the window that asked has gone: nobody to tell
        verdict(started);
    };
    QObject::connect(opener, &QProcess::errorOccurred, opener, [opener, decide](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return; // a crash also ends in finished()
        QMetaObject::invokeMethod(QCoreApplication::instance(), [decide] { decide(false); }, Qt::QueuedConnection);
        opener->deleteLater(); // finished() never comes
    });
    QObject::connect(opener, &QProcess::finished, opener, [opener, decide](int exitCode, QProcess::ExitStatus status) {
        decide(status == QProcess::NormalExit && exitCode == 0);
        opener->deleteLater();
    });
    // Still running at the bound: trusted as started. The timer goes with the opener.
    auto *bound = new QTimer(opener);
    bound->setSingleShot(true);
    bound->setTimerType(Qt::PreciseTimer);
    QObject::connect(bound, &QTimer::timeout, opener, [decide] { decide(true); });
    bound->start(m_openerBoundMs);

    keepDescriptorsFromChildren();
    opener->start();
}

bool SystemServices::startProgram(const QString &program, const QStringList &arguments,
                                  const QString &workingDirectory)
{
    keepDescriptorsFromChildren();
    // Detached starts get a session of their own from Qt.
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setWorkingDirectory(workingDirectory);
    process.setProcessEnvironment(m_childEnvironment);
    return process.startDetached();
}

QString SystemServices::programDirectory()
{
    return QCoreApplication::applicationDirPath();
}

bool SystemServices::canCreateFileIn(const QString &directory)
{
    // Decided by trying: permission bits say nothing about read-only mounts,
    // access lists or a full disk of inodes.
    const QString dir = directory.isEmpty() ? QStringLiteral(".") : directory;
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral(".minutrex-probe-XXXXXX")));
    return probe.open(); // removed again when probe goes out of scope
}

QString SystemServices::userConfigDirectory(QString *reason)
{
    // The base must be absolute, as the XDG rules say. A relative
    // XDG_CONFIG_HOME is a mistake worth telling rather than quietly storing
    // the settings (which name the program to run) somewhere else; an empty
    // one means "not set".
    QString base = QFile::decodeName(qgetenv("XDG_CONFIG_HOME"));
    if (!base.isEmpty() && !base.startsWith(QLatin1Char('/'))) {
        if (reason)
            *reason = SystemTexts::tr("le dossier de configuration de l'utilisateur est inconnu : "
                                      "XDG_CONFIG_HOME (%1) n'est pas un chemin absolu").arg(base);
        return QString();
    }
    if (base.isEmpty()) {
        const QString home = QFile::decodeName(qgetenv("HOME"));
        if (!home.startsWith(QLatin1Char('/'))) {
            if (reason)
                *reason = SystemTexts::tr("le dossier de configuration de l'utilisateur est inconnu : HOME "
                                          "ne donne pas un chemin absolu");
            return QString();
        }
        base = home + QStringLiteral("/.config");
    }
    while (base.size() > 1 && base.endsWith(QLatin1Char('/')))
        base.chop(1);
    const QString path = (base == QLatin1String("/") ? QString() : base) + QStringLiteral("/Minutrex");
    // Settings name the program to run: new folders are the user's alone.
    if (!makePrivatePath(path)) {
        if (reason)
            *reason = SystemTexts::tr("le dossier %1 ne peut pas être créé (%2)")
                          .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return QString();
    }
    return path;
}

bool SystemServices::isRegularFile(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

bool SystemServices::pathExists(const QString &path)
{
    return !path.isEmpty() && QFileInfo::exists(path);
}

bool SystemServices::isExecutableProgram(const QString &path)
{
    if (!isRegularFile(path))
        return false;
    if (::access(QFile::encodeName(path).constData(), X_OK) != 0)
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(4);
    return head == QByteArrayLiteral("\x7f" "ELF") || head.startsWith("#!");
}

qint64 SystemServices::clockMs()
{
    return bootClockMs();
}

qint64 SystemServices::bootClockMs()
{
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void SystemServices::processEvents()
{
    QCoreApplication::processEvents();
}

DesktopSession &SystemServices::session()
{
    if (!m_session)
        m_session = std::make_unique<DesktopSession>(QGuiApplication::desktopFileName());
    return *m_session;
}

void SystemServices::inhibitIdleSleep(const QString &reason)
{
    session().inhibit(reason);
}

void SystemServices::releaseIdleSleep()
{
    session().release();
}

void SystemServices::notify(const QString &body, std::function<void()> onActivated)
{
    // The program's icon belongs to its main window, not to the application,
    // so that the settings window has none: take the first window's that has one.
    QIcon programIcon = QApplication::windowIcon();
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (qsizetype i = 0; programIcon.isNull() && i < windows.size(); ++i)
        programIcon = windows[i]->windowIcon();
    session().notify(body, programIcon.pixmap(48, 48).toImage(), std::move(onActivated));
}

void SystemServices::showProgress(double fraction, qint64 secondsLeft)
{
    session().showProgress(fraction, secondsLeft);
}

void SystemServices::clearProgress()
{
    session().clearProgress();
}

QDateTime SystemServices::localDateTime()
{
    return QDateTime::currentDateTime();
}
