#include <QtTest>
#include <QWidget>

#include "linecanvas.h"
#include "sevensegment.h"

// Paints the display over a dark panel and checks real pixels.
class TestLineCanvas : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void segmentPixels_data();
    void segmentPixels();
    void backgroundShowsThrough();
    void clicksReachThePanelBeneath();
    void coversOnlyItsStrokes();
    void refreshRepaintsWhatChanged();

private:
    QImage render();

    QWidget *m_window = nullptr;
    QWidget *m_panel = nullptr;
    LineCanvas *m_canvas = nullptr;
    SevenSegmentDisplay m_display;
};

namespace {

const QColor PanelColor(0x40, 0x40, 0x40);
const QColor WindowColor(216, 216, 216);

// Records presses, as the time panel does.
class PressRecorder : public QWidget
{
public:
    using QWidget::QWidget;
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent *) override { ++presses; }
};

void fill(QWidget *widget, const QColor &color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

} // namespace

void TestLineCanvas::init()
{
    m_display = SevenSegmentDisplay();
    m_window = new QWidget;
    m_window->setFixedSize(234, 224);
    fill(m_window, WindowColor);
    m_panel = new PressRecorder(m_window);
    m_panel->setGeometry(48, 96, 137, 33); // the time panel: 720, 1440, 2055, 495 twips
    fill(m_panel, PanelColor);
    m_canvas = new LineCanvas(m_window);
    m_canvas->setGeometry(0, 0, 234, 224);
    m_canvas->setLines(m_display.lines());
}

void TestLineCanvas::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

QImage TestLineCanvas::render()
{
    return m_window->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

void TestLineCanvas::segmentPixels_data()
{
    QTest::addColumn<int>("role");
    QTest::addColumn<int>("cell");
    QTest::addColumn<bool>("lit");

    // "10:00:00": cell 11 shows 1, so its right verticals are lit, the rest unlit.
    QTest::newRow("Segm1(11) lit vertical") << 1 << 11 << true;
    QTest::newRow("Segm5(11) unlit vertical") << 5 << 11 << false;
    QTest::newRow("Segm6(11) unlit horizontal") << 6 << 11 << false;
    QTest::newRow("Segm3(21) lit horizontal") << 3 << 21 << true;
    QTest::newRow("Segm7(32) unlit horizontal") << 7 << 32 << false;
}

void TestLineCanvas::segmentPixels()
{
    QFETCH(int, role);
    QFETCH(int, cell);
    QFETCH(bool, lit);

    m_display.Afficheur("10:00:00", 0.333333);
    const QImage image = render();
    QCOMPARE(image.size(), QSize(234, 224));

    const QColor expected = lit ? QColor(0, 255, 0) : QColor(0, 84, 0);
    const LineObject &line = m_display.Segm(role, cell);
    const bool vertical = line.X1 == line.X2;
    // Cross the stroke at its middle and count its pixels there.
    const int alongMiddle = vertical ? (line.Y1 + line.Y2) / 2 / TwipsPerPixel : (line.X1 + line.X2) / 2 / TwipsPerPixel;
    const int across = (vertical ? line.X1 : line.Y1) / TwipsPerPixel;
    QList<int> strokePixels;
    for (int offset = -4; offset <= 4; ++offset) {
        const int x = vertical ? across + offset : alongMiddle;
        const int y = vertical ? alongMiddle : across + offset;
        const QColor pixel = image.pixelColor(x, y);
        if (pixel == expected)
            strokePixels << offset;
        else
            QCOMPARE(pixel, PanelColor);
    }
    QCOMPARE(strokePixels.size(), 2);
    QCOMPARE(strokePixels.at(1), strokePixels.at(0) + 1);

    // Along the stroke: flat ends, no blending, so a 70-twip segment that
    // starts on a pixel edge covers exactly the 5 pixels whose centres it spans.
    const int start = (vertical ? line.Y1 : line.X1) / TwipsPerPixel;
    const int row = across + strokePixels.at(0);
    QList<int> covered;
    for (int along = start - 2; along <= start + 6; ++along) {
        const QColor pixel = vertical ? image.pixelColor(row, along) : image.pixelColor(along, row);
        if (pixel == expected)
            covered << along - start;
        else
            QCOMPARE(pixel, PanelColor);
    }
    QCOMPARE(covered, (QList<int>{0, 1, 2, 3, 4}));
}

void TestLineCanvas::backgroundShowsThrough()
{
    const QImage image = render();
    QCOMPARE(image.pixelColor(5, 5), WindowColor);
    QCOMPARE(image.pixelColor(230, 220), WindowColor);
    // Inside the first digit, between its strokes.
    QCOMPARE(image.pixelColor(67, 108), PanelColor);
}

void TestLineCanvas::clicksReachThePanelBeneath()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    // Right on the upper right segment of the first digit.
    const QPoint onSegment(m_display.Segm(1, 11).X1 / TwipsPerPixel, 108);
    QTest::mouseClick(m_window->windowHandle(), Qt::LeftButton, {}, onSegment);
    QCOMPARE(static_cast<PressRecorder *>(m_panel)->presses, 1);
}

void TestLineCanvas::coversOnlyItsStrokes()
{
    // From the left edge of the first digit's strokes to the right edge of the
    // last one's, with a margin of two pixels: not the whole window.
    QRect strokes;
    for (const LineObject *line : m_display.lines()) {
        strokes |= QRect(QPoint(std::min(line->X1, line->X2) / TwipsPerPixel, std::min(line->Y1, line->Y2) / TwipsPerPixel),
                         QPoint(std::max(line->X1, line->X2) / TwipsPerPixel, std::max(line->Y1, line->Y2) / TwipsPerPixel));
    }
    QVERIFY(m_canvas->geometry().contains(strokes));
    QVERIFY(strokes.adjusted(-3, -3, 3, 3).contains(m_canvas->geometry()));
    // Strokes keep their places on the window, wherever the canvas lies.
    const LineObject &line = m_display.Segm(1, 11);
    QCOMPARE(render().pixelColor(line.X1 / TwipsPerPixel, (line.Y1 + line.Y2) / 2 / TwipsPerPixel),
             QColor(0, 255, 0));
}

void TestLineCanvas::refreshRepaintsWhatChanged()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QCOMPARE(m_canvas->refresh(), QRect());

    // One stroke dimmed: its own place, a few pixels wide, is all there is to repaint.
    LineObject &segment = m_display.Segm(1, 11);
    segment.color = SevenSegmentDisplay::UnlitColor;
    const QRect one = m_canvas->refresh();
    const QRect stroke(QPoint(segment.X1 / TwipsPerPixel, segment.Y1 / TwipsPerPixel),
                       QPoint(segment.X2 / TwipsPerPixel, segment.Y2 / TwipsPerPixel));
    QVERIFY(one.contains(stroke));
    QVERIFY(stroke.adjusted(-4, -4, 4, 4).contains(one));
    QCOMPARE(m_canvas->refresh(), QRect());
    QTRY_COMPARE(render().pixelColor(stroke.center()), QColor(0, 84, 0));

    // A dot that moves: where it was and where it is now.
    LineObject &dot = m_display.SegClig1(1);
    const QPoint before(dot.X1 / TwipsPerPixel, dot.Y1 / TwipsPerPixel);
    dot.Y1 += 150;
    dot.Y2 += 150;
    const QRect moved = m_canvas->refresh();
    QVERIFY(moved.contains(before));
    QVERIFY(moved.contains(QPoint(dot.X1 / TwipsPerPixel, dot.Y1 / TwipsPerPixel)));
    QVERIFY(!moved.contains(stroke.center()));

    // A stroke moved out of the canvas makes it grow.
    dot.Y1 += 3000;
    dot.Y2 += 3000;
    m_canvas->refresh();
    QVERIFY(m_canvas->geometry().contains(QPoint(dot.X1 / TwipsPerPixel, dot.Y2 / TwipsPerPixel)));
}

QTEST_MAIN(TestLineCanvas)
#include "tst_linecanvas.moc"
