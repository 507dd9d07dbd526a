// The pictures compiled into the program: the panel background must line up
// with the controls drawn over it, so its size and zone colours are checked
// where a wrong edit of the generator would show.

#include <QImage>
#include <QTest>

class TstResources : public QObject
{
    Q_OBJECT

private:
    QImage panel_;

private slots:
    void initTestCase()
    {
        QVERIFY(panel_.load(QStringLiteral(":/panel.png")));
        panel_ = panel_.convertToFormat(QImage::Format_RGB32);
    }

    void panelPicture_isClientAreaPlusCutOffEdges()
    {
        QCOMPARE(panel_.size(), QSize(441, 49));
    }

    void panelPicture_zonesHaveTheirColours_data()
    {
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<QString>("colour");
        // Corners of each zone, so an off-by-one edge shows up.
        QTest::newRow("left field top-left") << QPoint(0, 0) << "#fff158";
        QTest::newRow("left field bottom-right") << QPoint(246, 48) << "#fff158";
        QTest::newRow("left separator") << QPoint(247, 30) << "#9a8920";
        QTest::newRow("slider separator left") << QPoint(407, 0) << "#7e5c18";
        QTest::newRow("slider separator right") << QPoint(408, 22) << "#976201";
        QTest::newRow("divider line") << QPoint(248, 23) << "#101010";
        QTest::newRow("divider line end") << QPoint(407, 23) << "#101010";
        QTest::newRow("layout separator") << QPoint(248, 24) << "#b27001";
        QTest::newRow("layout field first") << QPoint(249, 24) << "#dd8200";
        QTest::newRow("layout field last") << QPoint(342, 48) << "#dd8200";
        QTest::newRow("middle separator left") << QPoint(343, 30) << "#976201";
        QTest::newRow("middle separator right") << QPoint(344, 30) << "#ab8c01";
        QTest::newRow("help field first") << QPoint(345, 24) << "#ddb600";
        QTest::newRow("help field last") << QPoint(406, 48) << "#ddb600";
        QTest::newRow("help separator left") << QPoint(407, 48) << "#b29201";
        QTest::newRow("help separator right") << QPoint(408, 24) << "#976201";
        QTest::newRow("right strip first") << QPoint(409, 0) << "#f88000";
        QTest::newRow("right strip last") << QPoint(440, 48) << "#f88000";
        QTest::newRow("ramp light end") << QPoint(248, 0) << "#f8f8f8";
        QTest::newRow("ramp dark end") << QPoint(406, 22) << "#070707";
    }

    void panelPicture_zonesHaveTheirColours()
    {
        QFETCH(QPoint, at);
        QFETCH(QString, colour);
        QCOMPARE(QColor(panel_.pixel(at)).name(), colour);
    }

    void opacityScale_isGreyAndDarkensLeftToRight()
    {
        for (int y : {0, 11, 22}) {
            int previous = 256;
            for (int x = 248; x <= 406; ++x) {
                const QRgb p = panel_.pixel(x, y);
                QVERIFY2(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p),
                         qPrintable(QStringLiteral("not grey at %1,%2").arg(x).arg(y)));
                QVERIFY2(qRed(p) < previous,
                         qPrintable(QStringLiteral("not darker at %1,%2").arg(x).arg(y)));
                previous = qRed(p);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TstResources)
#include "tst_resources.moc"
