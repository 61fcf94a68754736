#include "systemservices.h"

#include <cerrno>
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

// How long the desktop opener is watched for a failure before it is trusted.
constexpr int OpenerWatchMs = 2000;

} // namespace

SystemServices::SystemServices() = default;

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
    if (m_sound && ca_context_play(m_sound, 0, CA_PROP_EVENT_ID, "bell", nullptr) == CA_SUCCESS)
        return;
    QApplication::beep();
}

void SystemServices::messageBox(QWidget *owner, const QString &text, Icon icon, const QString &title)
{
    // On the heap and watched: the owner may be unloaded while the box is open
    // (the count can end behind the about box), and it takes the box with it.
    QPointer<QMessageBox> box = new QMessageBox(
        icon == Icon::Exclamation ? QMessageBox::Warning : QMessageBox::Information, title, text,
        QMessageBox::Ok, owner);
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
    QObject::connect(&watch, &QTimer::timeout, &loop, &QEventLoop::quit);

    opener->start();
    if (!decided) {
        watch.start(OpenerWatchMs);
        // The windows keep painting and ticking; clicks and keys wait until the
        // watch is over, so the caller's window cannot be closed under it.
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (failedToStart)
        opener->deleteLater(); // finished() never comes
    return succeeded;
}

bool SystemServices::startProgram(const QString &program, const QStringList &arguments,
                                  const QString &workingDirectory)
{
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

QString SystemServices::userConfigDirectory()
{
    QString path = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    if (path.isEmpty())
        return QString();
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);

    const QFileInfo info(path);
    if (info.exists())
        return info.isDir() ? path : QString();

    const QString parent = info.absolutePath();
    if (!QDir().mkpath(parent))
        return QString();
    const QByteArray native = QFile::encodeName(path);
    // Settings may hold private paths: the directory is the user's alone.
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return QString();
    if (!QFileInfo(path).isDir())
        return QString();
    ::chmod(native.constData(), 0700); // the umask may have taken bits off
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
