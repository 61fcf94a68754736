#include "settingslocation.h"

#include "services.h"

SettingsLocation settingsLocation(const QString &givenFile, const QString &installMarker, Services &services)
{
    SettingsLocation location;
    location.fileName = QStringLiteral("Minutrex.ini");
    QString directory = services.programDirectory();
    if (!givenFile.isEmpty()) {
        const qsizetype slash = givenFile.lastIndexOf(u'/');
        location.directory = givenFile.left(slash + 1);
        location.fileName = givenFile.mid(slash + 1);
        return location;
    }
    const bool installed = services.isRegularFile(directory + u'/' + installMarker);
    const bool besideProgram = services.isRegularFile(directory + u'/' + location.fileName)
        || services.canCreateFileIn(directory);
    if (installed || !besideProgram) {
        directory = services.userConfigDirectory(&location.reason);
        if (directory.isEmpty()) {
            location.status = SettingsLocation::Status::NoUserFolder;
            return location;
        }
    }
    location.directory = directory + u'/';
    return location;
}
