#include <csignal>

#include <QApplication>
#include <QIcon>

#include "counter.h"
#include "lines.h"
#include "systemservices.h"

int main(int argc, char *argv[])
{
    // A file-size limit must make a save fail with a message, not end the program.
    std::signal(SIGXFSZ, SIG_IGN);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Minutrex"));
    QApplication::setApplicationVersion(QStringLiteral("3.42"));
    QApplication::setDesktopFileName(QStringLiteral("minutrex"));
    // The settings window is shown while the main window is hidden; the
    // program ends when the main window is unloaded, not before.
    QApplication::setQuitOnLastWindowClosed(false);
    installFontSubstitutions();

    SystemServices services;
    LignMatArray LignMat;

    auto *counter = new Counter(services, LignMat);
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/icons/minutrex-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    if (!counter->Form_Initialize()) {
        delete counter;
        return 1;
    }
    QObject::connect(counter, &QObject::destroyed, &app, &QCoreApplication::quit);
    counter->show();
    return app.exec();
}
