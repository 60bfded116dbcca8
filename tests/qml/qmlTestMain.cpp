// The Qt Quick Test runner of the orvane modules: a QApplication (charts need one), the static
// module plugins, the resource import path the default engine lacks, and a rosbridge server on
// loopback for the controls that follow the active robot connection.
#include "RosbridgeFake.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QQmlContext>
#include <QQmlEngine>
#include <QtPlugin>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest/quicktest.h>

Q_IMPORT_QML_PLUGIN(orvane_BrandingPlugin)
Q_IMPORT_QML_PLUGIN(orvane_ControlsPlugin)
Q_IMPORT_QML_PLUGIN(orvane_UtilPlugin)
Q_IMPORT_QML_PLUGIN(orvane_RobotCommunicationPlugin)

// QML cannot hand a QImage value over (a grab result's image reads as undefined there), so the
// tests give pictures to the QImage element through this helper, as the back end would.
class TestImages : public QObject
{
    Q_OBJECT

public:
    // A picture of the given size: the left half in `left`, the right half in `right`.
    Q_INVOKABLE void assign(QObject *item, int width, int height, const QString &left,
                            const QString &right)
    {
        QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&image);
        painter.fillRect(0, 0, width / 2, height, QColor::fromString(left));
        painter.fillRect(width / 2, 0, width - width / 2, height, QColor::fromString(right));
        painter.end();
        item->setProperty("image", image);
    }
    Q_INVOKABLE void clear(QObject *item) { item->setProperty("image", QImage()); }
};

// The loopback rosbridge server as QML sees it.
class TestRosbridge : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString url READ url CONSTANT)

public:
    TestRosbridge() { m_fake.listen(); }
    QString url() const { return m_fake.url(); }
    Q_INVOKABLE int clientCount() const { return m_fake.clientCount(); }

private:
    RosbridgeFake m_fake;
};

class Setup : public QObject
{
    Q_OBJECT

public slots:
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
        // Screens rendered by the tests land in the build folder, for a person to look at.
        const QString screens = qEnvironmentVariable("NIMBREL_BINARY_DIR") + "/screens";
        QDir().mkpath(screens);
        engine->rootContext()->setContextProperty(QStringLiteral("screensFolder"), screens);
        engine->rootContext()->setContextProperty(QStringLiteral("testImages"), &m_images);
        engine->rootContext()->setContextProperty(QStringLiteral("rosbridge"), &m_rosbridge);
    }

private:
    TestImages m_images;
    TestRosbridge m_rosbridge;
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    Setup setup;
    return quick_test_main_with_setup(argc, argv, "orvane", nullptr, &setup);
}

#include "qmlTestMain.moc"
