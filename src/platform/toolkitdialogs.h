#pragma once

#include <QString>

class QMessageBox;
class QWidget;

// What the program changes in the toolkit's own dialogs.

// Widens the box so that a window manager's title bar has room for its whole
// title beside the bar's icon and buttons. The toolkit sizes a box to its text
// with only a narrow allowance for the title, which plain window managers cut
// ("Minut… ction"). Call once the box has its title, icon and texts.
void widenForTitle(QMessageBox *box);

// Modal file-open dialog, as QFileDialog::getOpenFileName, whose list writes
// dates and sizes in the program's language (the default QLocale) rather than
// the system's. The chosen path, or an empty text on cancel.
QString chooseFileToOpen(QWidget *owner, const QString &title, const QString &filter,
                         const QString &initialDirectory);
