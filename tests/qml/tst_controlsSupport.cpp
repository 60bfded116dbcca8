#include "BuildInfo.h"
#include "QuickQImage.h"
#include "TestSupport.h"

#include <QFile>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class tst_ControlsSupport : public QObject
{
    Q_OBJECT

private slots:
    void placementMatchesQtQuickImage_data();
    void qmldirLines();
    void shaderInterface();
    void placementMatchesQtQuickImage();
    void writtenPlacements_data();
    void writtenPlacements();
    void setImageSizesAndSignals();
    void buildStampParses_data();
    void buildStampParses();
    void buildDateTimeIsSteady();
};

namespace {
struct Painted
{
    QSizeF size;
    bool ok = false;
};

// Qt Quick's own Image, given the same picture, item size and fill mode.
Painted qtQuickImage(QQmlEngine &engine, const QString &file, QSizeF item, const char *mode)
{
    QQmlComponent component(&engine);
    component.setData(QStringLiteral("import QtQuick\nImage { width: %1; height: %2; "
                                     "fillMode: Image.%3; source: '%4' }")
                          .arg(item.width())
                          .arg(item.height())
                          .arg(QLatin1String(mode), QUrl::fromLocalFile(file).toString())
                          .toUtf8(),
                      QUrl());
    std::unique_ptr<QObject> image(component.create());
    if (!image)
        return {};
    return { QSizeF(image->property("paintedWidth").toReal(),
                    image->property("paintedHeight").toReal()),
             true };
}
} // namespace

void tst_ControlsSupport::placementMatchesQtQuickImage_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSizeF>("item");
    const std::pair<const char *, int> modes[]
        = { { "Stretch", QuickQImage::Stretch },
            { "PreserveAspectFit", QuickQImage::PreserveAspectFit },
            { "PreserveAspectCrop", QuickQImage::PreserveAspectCrop },
            { "Pad", QuickQImage::Pad } };
    const std::pair<QSize, QSizeF> shapes[] = { { { 200, 100 }, { 100, 100 } },
                                                { { 100, 200 }, { 100, 100 } },
                                                { { 64, 48 }, { 320, 240 } },
                                                { { 30, 70 }, { 250, 90 } } };
    for (const auto &[name, mode] : modes) {
        for (const auto &[picture, item] : shapes) {
            QTest::addRow("%s %dx%d in %gx%g", name, picture.width(), picture.height(),
                          item.width(), item.height())
                << mode << picture << item;
        }
    }
}

void tst_ControlsSupport::placementMatchesQtQuickImage()
{
    QFETCH(int, mode);
    QFETCH(QSize, picture);
    QFETCH(QSizeF, item);
    QTemporaryDir dir;
    const QString file = dir.filePath("picture.png");
    QImage image(picture, QImage::Format_ARGB32);
    image.fill(Qt::red);
    QVERIFY(image.save(file));

    QQmlEngine engine;
    const char *modeNames[] = { "Stretch", "PreserveAspectFit", "PreserveAspectCrop", "Pad" };
    const Painted oracle = qtQuickImage(engine, file, item, modeNames[mode]);
    QVERIFY(oracle.ok);
    const auto placed = QuickQImage::placement(QuickQImage::FillMode(mode), item, picture);
    QVERIFY(placed);
    if (mode == QuickQImage::Pad) {
        // Image paints the whole picture and lets the item's clip cut it; the element cuts it
        // itself at the item's edges.
        QCOMPARE(placed->target.size(), oracle.size.boundedTo(item));
        QCOMPARE(placed->source, placed->target);
        return;
    }
    QCOMPARE(placed->target.size(), oracle.size);
    QCOMPARE(placed->source, QRectF(QPointF(), QSizeF(picture)));
    if (mode == QuickQImage::PreserveAspectFit)
        QCOMPARE(placed->target.center(), QRectF(QPointF(), item).center());
    else
        QCOMPARE(placed->target.topLeft(), QPointF());
}

void tst_ControlsSupport::writtenPlacements_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QRectF>("target");
    QTest::addColumn<QRectF>("source");
    const QSize wide(200, 100), tall(100, 200), square(50, 50);
    QTest::newRow("fit wide") << int(QuickQImage::PreserveAspectFit) << wide
                              << QRectF(0, 25, 100, 50) << QRectF(0, 0, 200, 100);
    QTest::newRow("crop wide") << int(QuickQImage::PreserveAspectCrop) << wide
                               << QRectF(0, 0, 200, 100) << QRectF(0, 0, 200, 100);
    QTest::newRow("pad wide") << int(QuickQImage::Pad) << wide << QRectF(0, 0, 100, 100)
                              << QRectF(0, 0, 100, 100);
    QTest::newRow("stretch wide") << int(QuickQImage::Stretch) << wide << QRectF(0, 0, 100, 100)
                                  << QRectF(0, 0, 200, 100);
    QTest::newRow("fit tall") << int(QuickQImage::PreserveAspectFit) << tall
                              << QRectF(25, 0, 50, 100) << QRectF(0, 0, 100, 200);
    QTest::newRow("crop tall") << int(QuickQImage::PreserveAspectCrop) << tall
                               << QRectF(0, 0, 100, 200) << QRectF(0, 0, 100, 200);
    QTest::newRow("fit equal") << int(QuickQImage::PreserveAspectFit) << square
                               << QRectF(0, 0, 100, 100) << QRectF(0, 0, 50, 50);
    QTest::newRow("crop equal") << int(QuickQImage::PreserveAspectCrop) << square
                                << QRectF(0, 0, 100, 100) << QRectF(0, 0, 50, 50);
}

void tst_ControlsSupport::writtenPlacements()
{
    QFETCH(int, mode);
    QFETCH(QSize, picture);
    QFETCH(QRectF, target);
    QFETCH(QRectF, source);
    const auto placed
        = QuickQImage::placement(QuickQImage::FillMode(mode), QSizeF(100, 100), picture);
    QVERIFY(placed);
    QCOMPARE(placed->target, target);
    QCOMPARE(placed->source, source);
    QVERIFY(!QuickQImage::placement(QuickQImage::FillMode(7), QSizeF(100, 100), picture));
}

void tst_ControlsSupport::setImageSizesAndSignals()
{
    QuickQImage item;
    QSignalSpy images(&item, &QuickQImage::imageChanged);
    QSignalSpy modes(&item, &QuickQImage::fillModeChanged);
    QSignalSpy smooths(&item, &QuickQImage::smoothChanged);
    QVERIFY(!(item.flags() & QQuickItem::ItemHasContents));
    QCOMPARE(item.fillMode(), QuickQImage::Stretch);
    QVERIFY(item.smooth());

    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    item.setImage(picture);
    QCOMPARE(images.size(), 1);
    QCOMPARE(item.implicitWidth(), 40.0);
    QCOMPARE(item.implicitHeight(), 30.0);
    QVERIFY(item.flags() & QQuickItem::ItemHasContents);

    QImage same = picture.copy();
    item.setImage(same);
    QCOMPARE(images.size(), 1);

    item.setFillMode(QuickQImage::Pad);
    item.setFillMode(QuickQImage::Pad);
    QCOMPARE(modes.size(), 1);
    item.setSmooth(false);
    item.setSmooth(false);
    QCOMPARE(smooths.size(), 1);

    item.setImage(QImage());
    QCOMPARE(images.size(), 2);
    QCOMPARE(item.implicitWidth(), 0.0);
    QCOMPARE(item.implicitHeight(), 0.0);

    // QML sees the element's own smooth property and the fill modes by name.
    const QMetaObject *meta = item.metaObject();
    const int smoothIndex = meta->indexOfProperty("smooth");
    QCOMPARE(meta->property(smoothIndex).notifySignal().name(), QByteArray("smoothChanged"));
    QVERIFY(!meta->property(meta->indexOfProperty("implicitWidth")).isWritable());
    QCOMPARE(QMetaEnum::fromType<QuickQImage::FillMode>().keyToValue("PreserveAspectCrop"), 2);
}

void tst_ControlsSupport::buildStampParses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("expected");
    QTest::newRow("padded day") << "Jul  3 2025 16:42:45"
                                << QDateTime(QDate(2025, 7, 3), QTime(16, 42, 45));
    QTest::newRow("two-digit day")
        << "Dec 11 2026 04:05:06" << QDateTime(QDate(2026, 12, 11), QTime(4, 5, 6));
    QTest::newRow("surrounding blanks")
        << "  Jan  1 2024   00:00:00 " << QDateTime(QDate(2024, 1, 1), QTime(0, 0));
    QTest::newRow("garbage") << "yesterday" << QDateTime();
    QTest::newRow("bad month") << "Foo  3 2025 16:42:45" << QDateTime();
}

void tst_ControlsSupport::buildStampParses()
{
    QFETCH(QString, text);
    QFETCH(QDateTime, expected);
    // Month names are English whatever the user's locale.
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QDateTime parsed = BuildInfo::parseBuildStamp(text);
    QLocale::setDefault(before);
    QCOMPARE(parsed.isValid(), expected.isValid());
    if (expected.isValid()) {
        QCOMPARE(parsed, expected);
        QCOMPARE(parsed.timeSpec(), Qt::LocalTime);
    }
}

void tst_ControlsSupport::buildDateTimeIsSteady()
{
    BuildInfo info;
    const QDateTime first = info.buildDateTime();
    QVERIFY(first.isValid());
    QCOMPARE(info.buildDateTime(), first);
    QVERIFY(first <= QDateTime::currentDateTime().addSecs(1));
}

namespace {
QStringList qmldirOf(const QString &module)
{
    QFile file(QStringLiteral(":/qt/qml/orvane/%1/qmldir").arg(module));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    lines.removeAll(QString());
    return lines;
}
} // namespace

void tst_ControlsSupport::qmldirLines()
{
    QStringList expected{ "module orvane.Controls",     "linktarget Controlsplugin",
                          "plugin Controlsplugin",      "classname orvane_ControlsPlugin",
                          "typeinfo Controls.qmltypes", "import QtQuick.Controls.Material",
                          "depends orvane.Branding",    "prefer :/qt/qml/orvane/Controls/" };
    const QStringList types
        = QStringLiteral(
              "ApplicationWindow Button CalendarView CheckBox CheckIndicator ComboBox "
              "ConnectionStatus CursorDelegate DatePicker DeviceListEntry DeviceListPopup Dialog "
              "DialogButton DialogButtonBox ErrorDialog FooterLogo FormComboBox FormTextField "
              "FormTimeField FormTumbler GroupBox HeaderColumn HeaderContainer HomeButton "
              "NotchToolBar Label LabelContainer ModuleButton ProgressBar MainPane Slider SpinBox "
              "Separator Shelf ShelfSectionHeading TabBar TabButton Table TableActionButton "
              "TableColumn TableRow TableSelectionCheckbox TableTextEntry TableTextField TextField "
              "ToolBar ToolButton")
              .split(' ');
    QCOMPARE(types.size(), 47);
    for (const QString &type : types)
        expected << type + " 1.0 qml/" + type + ".qml";
    QCOMPARE(qmldirOf("Controls"), expected);
    QVERIFY(QFile::exists(":/qt/qml/orvane/Controls/qml/gradient.frag.qsb"));
}

// Qt's own qsb reads the shader package back: the interface the ShaderEffect relies on.
void tst_ControlsSupport::shaderInterface()
{
    QFile resource(QStringLiteral(":/qt/qml/orvane/Controls/qml/gradient.frag.qsb"));
    QVERIFY(resource.open(QIODevice::ReadOnly));
    QTemporaryDir dir;
    const QString copy = dir.filePath("gradient.frag.qsb");
    QFile out(copy);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(resource.readAll());
    out.close();
    const auto dump = nimbrel::test::runProcess("/usr/lib/qt6/bin/qsb", { "--dump", copy });
    QVERIFY(dump.finished && dump.exitCode == 0);
    const QString text = QString::fromUtf8(dump.out);
    for (const char *variant :
         { "SPIR-V 100", "GLSL 100 es", "GLSL 120", "GLSL 150", "HLSL 50", "MSL 12" })
        QVERIFY2(text.contains(QLatin1String(variant)), variant);
    const auto offsetOf = [&text](const char *name) {
        const QRegularExpression member(
            QStringLiteral("\"name\": \"%1\",\\s*\"offset\": (\\d+)").arg(QLatin1String(name)));
        const auto match = member.match(text);
        return match.hasMatch() ? match.captured(1).toInt() : -1;
    };
    QCOMPARE(offsetOf("qt_Matrix"), 0);
    QCOMPARE(offsetOf("qt_Opacity"), 64);
    QCOMPARE(offsetOf("stopA"), 80);
    QCOMPARE(offsetOf("stopB"), 96);
    const QRegularExpression sampler(
        QStringLiteral("\"binding\": (\\d+),\\s*\"name\": \"colorSource\""));
    const auto match = sampler.match(text);
    QVERIFY(match.hasMatch());
    QCOMPARE(match.captured(1).toInt(), 1);
}

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    tst_ControlsSupport test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_controlsSupport.moc"
