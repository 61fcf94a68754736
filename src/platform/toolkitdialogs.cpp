#include "toolkitdialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QGridLayout>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QMessageBox>
#include <QSpacerItem>

namespace
{
// The file list's columns as QFileSystemModel numbers them.
constexpr int SizeColumn = 1;
constexpr int DateColumn = 3;

// The toolkit writes a file's size and date in the system's locale; the rest
// of the dialog speaks the program's language, so these do too.
class ProgramLocaleFiles final : public QIdentityProxyModel
{
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex &index, int role) const override
    {
        const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
        if (role == Qt::DisplayRole && files && index.isValid()) {
            const QModelIndex source = mapToSource(index);
            if (index.column() == DateColumn)
                return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
            if (index.column() == SizeColumn && !files->isDir(source))
                return QLocale().formattedDataSize(files->size(source));
        }
        return QIdentityProxyModel::data(index, role);
    }
};
}

void widenForTitle(QMessageBox *box)
{
    auto *grid = qobject_cast<QGridLayout *>(box->layout());
    if (!grid)
        return;
    // Window managers draw titles in a bold face about the size of the
    // application's, beside an icon and up to three buttons, each about a
    // line high plus its padding.
    QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
    titleFont.setBold(true);
    const QFontMetrics metrics(titleFont);
    const int wanted = metrics.horizontalAdvance(box->windowTitle()) + 4 * (metrics.height() + 12);
    const QMargins margins = grid->contentsMargins();
    grid->addItem(new QSpacerItem(wanted - margins.left() - margins.right(), 0, QSizePolicy::Minimum,
                                  QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

void chooseFileToOpen(QWidget *owner, const QString &title, const QString &filter, const QString &initialDirectory,
                      std::function<void(const QString &chosen)> onChosen)
{
    // Shown and left, not run in a loop of its own: the window's thread goes
    // on with everything else while the user browses.
    auto *dialog = new QFileDialog(owner, title, initialDirectory, filter);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setProxyModel(new ProgramLocaleFiles(dialog));
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, onChosen = std::move(onChosen)](int result) {
        onChosen(result == QDialog::Accepted ? dialog->selectedFiles().value(0) : QString());
    });
    dialog->open();
}
