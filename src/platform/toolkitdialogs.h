#pragma once

#include <functional>

#include <QString>

class QMessageBox;
class QWidget;

// What the program changes in the toolkit's own dialogs.

// Widens the box so that a window manager's title bar has room for its whole
// title beside the bar's icon and buttons. The toolkit sizes a box to its text
// with only a narrow allowance for the title, which plain window managers cut
// ("Minut… ction"). Call once the box has its title, icon and texts.
void widenForTitle(QMessageBox *box);

// A file-open dialog modal to its owner, whose list writes dates and sizes in
// the program's language (the default QLocale) rather than the system's. It is
// shown and left: onChosen runs with the chosen path, or an empty text on
// cancel; not at all when the owner goes first, taking the dialog with it.
void chooseFileToOpen(QWidget *owner, const QString &title, const QString &filter, const QString &initialDirectory,
                      std::function<void(const QString &chosen)> onChosen);
