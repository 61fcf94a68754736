#include "settingslocation.h"

#include "services.h"

SettingsLocation settingsLocation(const QString &givenFile, const QString &installMarker, Services &services)
{
    SettingsLocation location;
    location.fileName = QStringLiteral("Minutrex.ini");
    if (!givenFile.isEmpty()) {
        const qsizetype slash = givenFile.lastIndexOf(u'/');
        location.directory = givenFile.left(slash + 1);
        location.fileName = givenFile.mid(slash + 1);
        return location;
    }
    QString directory = services.programDirectory();
    // An installed copy keeps each user's settings apart, even when it could
    // write beside itself (root); so does one that cannot write there. The
    // write test comes last: it creates a file there for a moment.
    if (services.isRegularFile(directory + u'/' + installMarker)
        || (!services.isRegularFile(directory + u'/' + location.fileName) && !services.canCreateFileIn(directory))) {
        directory = services.userConfigDirectory(&location.reason);
        if (directory.isEmpty()) {
            location.status = SettingsLocation::Status::NoUserFolder;
            return location;
        }
    }
    location.directory = directory + u'/';
    return location;
}
