#include "look.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QFontMetrics>
#include <QImageReader>
#include <QPixmap>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionSpinBox>
#include <QWidget>

// The artwork of a static library is registered by hand: nothing else
// references it, so the linker would leave it out.
static void initDisplayArtwork()
{
    Q_INIT_RESOURCE(display);
}

QFont makeFont(const QString &family, qreal pointSize, bool bold, bool italic, bool underline)
{
    QFont font(family);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    font.setItalic(italic);
    font.setUnderline(underline);
    font.setStrikeOut(false);
    return font;
}

void setColour(QWidget *widget, QPalette::ColorRole role, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

void setTextColour(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        palette.setColor(role, colour);
    widget->setPalette(palette);
}

void useLightField(QWidget *field)
{
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, QColor(255, 255, 255));
    palette.setColor(QPalette::AlternateBase, QColor(240, 240, 240));
    palette.setColor(QPalette::Button, QColor(224, 224, 224));
    palette.setColor(QPalette::PlaceholderText, QColor(128, 128, 128));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        palette.setColor(role, QColor(0, 0, 0));
    field->setPalette(palette);
}

QPixmap pngPicture(const QString &path)
{
    QImageReader reader(path, "png");
    // No probing: a named format with detection off goes straight to the
    // built-in reader.
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

namespace
{
QString largeName(const QString &path)
{
    const qsizetype dot = path.lastIndexOf(u'.');
    return path.left(dot) + QStringLiteral("@2x") + path.mid(dot);
}
}

QIcon pngIcon(const QString &path)
{
    QIcon icon;
    for (const QString &name : {path, largeName(path)}) {
        const QPixmap picture = pngPicture(name);
        if (!picture.isNull())
            icon.addPixmap(picture);
    }
    return icon;
}

QPixmap artwork(const QString &path, qreal ratio)
{
    if (ratio <= 1)
        return pngPicture(path);
    QPixmap large = pngPicture(largeName(path));
    if (large.isNull())
        return pngPicture(path);
    if (!qFuzzyCompare(ratio, 2.0)) {
        const QSize device = (QSizeF(large.size()) / 2.0 * ratio).toSize();
        large = large.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    large.setDevicePixelRatio(ratio);
    return large;
}

QCursor handCursor()
{
    initDisplayArtwork();
    const QPixmap hand = artwork(QStringLiteral(":/cursors/hand.png"), qApp->devicePixelRatio());
    if (hand.isNull())
        return QCursor(Qt::PointingHandCursor);
    // The X11 platform takes the hot spot in the picture's own pixels.
    const qreal ratio = hand.devicePixelRatio();
    return QCursor(hand, qRound(12 * ratio), qRound(1 * ratio));
}

namespace
{
int editFieldWidth(const QAbstractSpinBox *box, const QStyle *style)
{
    QStyleOptionSpinBox option;
    option.initFrom(box);
    option.rect = QRect(QPoint(0, 0), box->size());
    option.frame = box->hasFrame();
    option.buttonSymbols = box->buttonSymbols();
    option.subControls = QStyle::SC_SpinBoxFrame | QStyle::SC_SpinBoxEditField | QStyle::SC_SpinBoxUp
        | QStyle::SC_SpinBoxDown;
    option.stepEnabled = QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
    return style->subControlRect(QStyle::CC_SpinBox, &option, QStyle::SC_SpinBoxEditField, box).width();
}
}

void keepTextWhole(QAbstractSpinBox *box, const QString &sample)
{
    // The inner line edit keeps two pixels each side and one for the cursor.
    const int needed = QFontMetrics(box->font()).horizontalAdvance(sample) + 5;
    if (editFieldWidth(box, box->style()) >= needed)
        return;
    // One narrow-arrowed style for the whole program, owned by the application.
    static QStyle *narrow = [] {
        QStyle *style = QStyleFactory::create(QStringLiteral("Fusion"));
        if (style)
            style->setParent(qApp);
        return style;
    }();
    if (narrow && editFieldWidth(box, narrow) >= editFieldWidth(box, box->style()))
        box->setStyle(narrow);
}

QString withUnbreakableHyphens(const QString &text)
{
    QString out;
    out.reserve(text.size() + 4);
    for (qsizetype i = 0; i < text.size(); ++i) {
        out += text.at(i);
        if (text.at(i) == u'-' && i > 0 && i + 1 < text.size() && text.at(i - 1).isLetter()
            && text.at(i + 1).isLetter())
            out += QChar(0x2060);
    }
    return out;
}
