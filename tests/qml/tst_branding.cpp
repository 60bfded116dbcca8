#include "ApplicationFonts.h"
#include "OrvaneColors.h"
#include "TestSupport.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QMetaProperty>
#include <QTemporaryDir>
#include <QTextLayout>
#include <QtTest>

class tst_Branding : public QObject
{
    Q_OBJECT

private slots:
    void paletteInPropertyOrder();
    void qmldirLines();
    void fontFilesCarryTheirFamilies_data();
    void fontFilesCarryTheirFamilies();
    void controlsFindTheirFamilies();
    void iconLigatureIsOneGlyph();
    void refusedFileWarnsOnceAndOthersLoad();
};

void tst_Branding::paletteInPropertyOrder()
{
    const std::pair<const char *, const char *> expected[] = {
        { "martian", "#ee1e47" },
        { "background", "#ffffff" },
        { "mainBorderColor", "#cccbca" },
        { "borderColor", "#c8c8c8" },
        { "accentBorderColor", "#fbaf37" },
        { "unknownStatusColor", "#b4b4b4" },
        { "cursorColor", "#000000" },
        { "bigButtonColor", "#f3f3f3" },
        { "bigButtonHoverColor", "#d3d3d3" },
        { "buttonColor", "#000000" },
        { "dangerButtonColor", "#dd0830" },
        { "dialogButtonContainerColor", "#eeeeee" },
        { "navigationBarColor", "#f3f3f3" },
        { "toolBarColor", "#e6e6e6" },
        { "primaryTextColor", "#000000" },
        { "secondaryTextColor", "#1d252e" },
        { "textFieldBackground", "#ffffff" },
        { "textFieldForeground", "#1c75bc" },
        { "tableColumnColor", "#f3f3f3" },
        { "tableRowColor", "#e6e6e6" },
        { "tableSelectedRowColor", "#d1ece7" },
        { "selectionColor", "#1c75bc" },
        { "selectedTextColor", "#ffffff" },
        { "accentColor", "#3db199" },
        { "formFieldLabelBackground", "#f3f3f3" },
        { "formFieldLabelDivider", "#dfdfdf" },
        { "formFieldControlBackground", "#e6e6e6" },
        { "formFieldContentBackground", "#cccccc" },
        { "formFieldTextUnderline", "#e3e3e3" },
        { "formFieldToggleTrue", "#3cb099" },
        { "formFieldToggleFalse", "#b4b4b4" },
    };
    OrvaneColors colors;
    const QMetaObject *meta = colors.metaObject();
    QCOMPARE(meta->propertyCount() - meta->propertyOffset(), int(std::size(expected)));
    for (int i = 0; i < int(std::size(expected)); ++i) {
        const QMetaProperty property = meta->property(meta->propertyOffset() + i);
        QCOMPARE(property.name(), expected[i].first);
        QVERIFY(property.isConstant());
        QVERIFY(!property.isWritable());
        QCOMPARE(property.metaType(), QMetaType::fromType<QColor>());
        QCOMPARE(property.read(&colors).value<QColor>(), QColor::fromString(expected[i].second));
    }
    QCOMPARE(meta->methodCount(), meta->methodOffset());
}

// Families by resource name, as fc-scan reads them from the committed files.
void tst_Branding::fontFilesCarryTheirFamilies_data()
{
    QTest::addColumn<QString>("path");
    const QStringList paths = applicationFontPaths();
    QCOMPARE(paths.size(), 39);
    QCOMPARE(paths.first(), QStringLiteral(":/fonts/MaterialSymbolsRounded.ttf"));
    QCOMPARE(paths.at(1), QStringLiteral(":/fonts/PlayfairDisplay-Italic-VariableFont_wght.ttf"));
    QCOMPARE(paths.at(3), QStringLiteral(":/fonts/Poppins-Black.ttf"));
    QCOMPARE(paths.at(21), QStringLiteral(":/fonts/Raleway-ExtraBoldItalic.ttf"));
    QCOMPARE(paths.last(), QStringLiteral(":/fonts/Raleway-ExtraBold.ttf"));
    for (const QString &path : paths)
        QTest::newRow(qPrintable(path.mid(8))) << path;
}

void tst_Branding::fontFilesCarryTheirFamilies()
{
    QFETCH(QString, path);
    QFile resource(path);
    QVERIFY2(resource.open(QIODevice::ReadOnly), qPrintable(path));
    QTemporaryDir dir;
    const QString copy = dir.filePath("font.ttf");
    QFile out(copy);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(resource.readAll());
    out.close();

    const auto scanned = nimbrel::test::runProcess("fc-scan", { "--format", "%{family}", copy });
    QVERIFY(scanned.finished && scanned.exitCode == 0);
    QStringList oracle = QString::fromUtf8(scanned.out).split(',');
    const int id = QFontDatabase::addApplicationFont(path);
    QVERIFY(id >= 0);
    QStringList loaded = QFontDatabase::applicationFontFamilies(id);
    // Qt reports the typographic family; fc-scan lists it first.
    QVERIFY2(loaded.contains(oracle.first()),
             qPrintable(loaded.join('|') + " vs " + oracle.join('|')));

    const QString name = path.mid(8).chopped(4);
    const QString family = name.section('-', 0, 0);
    const QString expectedFamily = family == "PlayfairDisplay" ? "Playfair Display"
        : family == "MaterialSymbolsRounded"                   ? "Material Symbols Rounded"
                                                               : family;
    QCOMPARE(oracle.first(), expectedFamily);
    // The style named by the resource is the style in the file.
    const auto styles = nimbrel::test::runProcess("fc-scan", { "--format", "%{style}", copy });
    const QString style = name.section('-', 1);
    if (family == "Poppins" || family == "Raleway") {
        const QString scannedStyle = QString::fromUtf8(styles.out).section(',', 0, 0);
        const QString expectedStyle = style == "Italic" ? "Italic" : style;
        QCOMPARE(QString(scannedStyle).remove(' '), expectedStyle);
    }
}

void tst_Branding::controlsFindTheirFamilies()
{
    loadApplicationFonts();
    const QStringList families = QFontDatabase::families();
    for (const char *family : { "Raleway", "Raleway Thin", "Poppins", "Poppins SemiBold",
                                "Material Symbols Rounded", "Playfair Display" })
        QVERIFY2(families.contains(QString::fromLatin1(family)), family);
}

void tst_Branding::iconLigatureIsOneGlyph()
{
    loadApplicationFonts();
    QFont icons(QStringLiteral("Material Symbols Rounded"));
    icons.setPixelSize(22);
    QTextLayout layout(QStringLiteral("close"), icons);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs.first().glyphIndexes().size(), 1);
    const qreal width = QFontMetricsF(icons).horizontalAdvance(QStringLiteral("close"));
    QVERIFY2(qAbs(width - 22) <= 2, qPrintable(QString::number(width)));
}

void tst_Branding::refusedFileWarnsOnceAndOthersLoad()
{
    QTemporaryDir dir;
    const QString corrupt = dir.filePath("Corrupt.ttf");
    QFile file(corrupt);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a font at all");
    file.close();
    for (const QString &bad : { corrupt, QStringLiteral(":/fonts/Missing.ttf") }) {
        QTest::ignoreMessage(QtWarningMsg,
                             qPrintable(QStringLiteral("Failed to load font \"%1\"").arg(bad)));
        loadApplicationFont(bad);
    }
    // Every brand file loads: no warning at all.
    QTest::failOnWarning(QRegularExpression(".*"));
    loadApplicationFonts();
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

void tst_Branding::qmldirLines()
{
    QCOMPARE(qmldirOf("Branding"),
             QStringList({ "module orvane.Branding", "linktarget Brandingplugin",
                           "plugin Brandingplugin", "classname orvane_BrandingPlugin",
                           "typeinfo Branding.qmltypes", "prefer :/qt/qml/orvane/Branding/" }));
}

QTEST_MAIN(tst_Branding)
#include "tst_branding.moc"
