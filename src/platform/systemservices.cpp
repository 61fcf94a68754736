#include "systemservices.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/close_range.h>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

#include <canberra.h>

#include "desktopsession.h"

#include <QApplication>
#include <QIcon>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTimer>

namespace {

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
    : m_openerBoundMs(openerBoundMs)
{
}

SystemServices::~SystemServices()
{
    if (m_session)
        m_session->finish();
    if (m_sound)
        ca_context_destroy(m_sound);
}

void SystemServices::beep()
{
    if (!m_sound && !m_soundUnavailable) {
        if (ca_context_create(&m_sound) == CA_SUCCESS) {
            ca_context_change_props(m_sound, CA_PROP_APPLICATION_NAME, "Minutrex", nullptr);
            if (ca_context_open(m_sound) != CA_SUCCESS) {
                ca_context_destroy(m_sound);
                m_sound = nullptr;
            }
        } else {
            m_sound = nullptr;
        }
        // Remember a missing sound server: trying again at every beep of the
        // last seconds would only delay the countdown.
        m_soundUnavailable = !m_sound;
    }
    // ca_context_play queues the sound and returns; it never waits for the end.
    // Kept in the sound server's cache: the next beeps, of this run or of the
    // next one, are played from there instead of decoded here again.
    if (m_sound
        && ca_context_play(m_sound, 0, CA_PROP_EVENT_ID, "bell", CA_PROP_CANBERRA_CACHE_CONTROL, "permanent",
                           nullptr)
            == CA_SUCCESS)
        return;
    QApplication::beep();
}

void SystemServices::messageBox(QWidget *owner, const QString &text, Icon icon, const QString &title)
{
    // On the heap and watched: the owner may be unloaded while the box is open
    // (the count can end behind the about box), and it takes the box with it.
    QPointer<QMessageBox> box = new QMessageBox(
        icon == Icon::Exclamation ? QMessageBox::Warning : QMessageBox::Information, title, QString(),
        QMessageBox::Ok, owner);
    // Messages quote names and lines as stored or typed: never markup.
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    box->exec();
    delete box.data();
}

QString SystemServices::openFileName(QWidget *owner, const QString &title, const QString &filter,
                                     const QString &initialDirectory)
{
    return QFileDialog::getOpenFileName(owner, title, initialDirectory, filter);
}

bool SystemServices::openWithDesktop(QWidget *, const QString &absolutePath)
{
    // No parent: destroying a QProcess kills it, and an opener still running
    // when the program ends must go on. It deletes itself when it finishes.
    auto *opener = new QProcess;
    opener->setProgram(QStringLiteral("xdg-open"));
    opener->setArguments({absolutePath});
    opener->setStandardInputFile(QProcess::nullDevice());
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(opener, &QProcess::finished, opener, &QObject::deleteLater);

    bool decided = false;
    bool succeeded = true; // still running when the watch ends: trusted
    bool failedToStart = false;
    QEventLoop loop;
    QObject::connect(opener, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return; // a crash also ends in finished()
        decided = true;
        succeeded = false;
        failedToStart = true;
        loop.quit();
    });
    QObject::connect(opener, &QProcess::finished, &loop,
                     [&](int exitCode, QProcess::ExitStatus status) {
                         decided = true;
                         succeeded = status == QProcess::NormalExit && exitCode == 0;
                         loop.quit();
                     });
    QTimer watch;
    watch.setSingleShot(true);
    watch.setTimerType(Qt::PreciseTimer);
    QObject::connect(&watch, &QTimer::timeout, &loop, &QEventLoop::quit);

    keepDescriptorsFromChildren();
    opener->start();
    if (!decided) {
        watch.start(m_openerBoundMs);
        // The windows keep painting and ticking; clicks and keys wait until the
        // verdict, so the caller's window cannot be closed under it.
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (failedToStart)
        opener->deleteLater(); // finished() never comes
    return succeeded;
}

bool SystemServices::startProgram(const QString &program, const QStringList &arguments,
                                  const QString &workingDirectory)
{
    keepDescriptorsFromChildren();
    return QProcess::startDetached(program, arguments, workingDirectory);
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
            *reason = QStringLiteral("le dossier de configuration de l'utilisateur est inconnu : "
                                     "XDG_CONFIG_HOME (%1) n'est pas un chemin absolu").arg(base);
        return QString();
    }
    if (base.isEmpty()) {
        const QString home = QFile::decodeName(qgetenv("HOME"));
        if (!home.startsWith(QLatin1Char('/'))) {
            if (reason)
                *reason = QStringLiteral("le dossier de configuration de l'utilisateur est inconnu : HOME "
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
            *reason = QStringLiteral("le dossier %1 ne peut pas être créé (%2)")
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
        m_session = std::make_unique<DesktopSession>();
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

QDateTime SystemServices::localDateTime()
{
    return QDateTime::currentDateTime();
}
