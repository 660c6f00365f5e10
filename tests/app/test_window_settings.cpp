// The settings file as the window reads it at start and writes it at exit.
#include "test_classes.h"
#include "window_fixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

class TestWindowSettings : public QObject {
    Q_OBJECT
private slots:
    void storedSizeFourShowsSixtyFourRightAfterStart()
    {
        WindowFixture f;
        f.writeSettings("[Size]\nwidth=4\nheight=4\n");
        TForm1& w = f.create();
        QCOMPARE(w.lblWidth->text(), QStringLiteral("64"));
        QCOMPARE(w.lblHeight->text(), QStringLiteral("64"));
        QCOMPARE(w.state().cropWidth, 64);
        QCOMPARE(w.state().cropHeight, 64);
    }

    void valuesAreClampedAndReadAsTheirControlsRead_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("threshold");
        QTest::addColumn<QString>("cogLabel");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("above the ranges") << QByteArray("[COG]\nthreshold=250\n[Size]\nwidth=99\nheight=41\n")
                                          << 100 << "100" << 40 << 40;
        QTest::newRow("below the ranges") << QByteArray("[COG]\nthreshold=-300\n[Size]\nwidth=1\nheight=0\n")
                                          << -100 << "-100" << 2 << 2;
        QTest::newRow("letters and hexadecimal") << QByteArray("[cog]\nTHRESHOLD=$A\n[Size]\nwidth=abc\nheight=0x10\n")
                                                 << 10 << "10" << 12 << 16;
    }
    void valuesAreClampedAndReadAsTheirControlsRead()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, threshold);
        QFETCH(QString, cogLabel);
        QFETCH(int, width);
        QFETCH(int, height);
        WindowFixture f;
        f.writeSettings(file);
        TForm1& w = f.create();
        QCOMPARE(w.trackCOG->value(), threshold);
        QCOMPARE(w.lblCog->text(), cogLabel);
        QCOMPARE(w.trackWidth->value(), width);
        QCOMPARE(w.trackHeight->value(), height);
        QCOMPARE(w.lblWidth->text(), QString::number(width * 16));
        QCOMPARE(w.lblHeight->text(), QString::number(height * 16));
    }

    void optionsComeFromTheFileButTheModeDoesNot()
    {
        WindowFixture f;
        f.writeSettings("[COG]\nshoweffect=2\n[Output]\nignoreIncomplete=1\nautocolor=0\ndebayersafe=1\ncolor=0\n");
        TForm1& w = f.create();
        QVERIFY(w.checkPreview->isChecked());
        QVERIFY(w.checkIgnoreIncomplete->isChecked());
        QVERIFY(!w.checkAutocolor->isChecked());
        QVERIFY(w.checkDebayerSafe->isChecked());
        QVERIFY(w.checkColor->isChecked());
        QVERIFY(!w.checkDebayerSafe->isEnabled());
    }

    void emptyAutocolorKeepsTheAutomaticChoice()
    {
        WindowFixture f;
        f.writeSettings("[Output]\nautocolor=\n");
        QVERIFY(f.create().checkAutocolor->isChecked());
    }

    void firstExitCreatesTheFileWithAllNineKeys()
    {
        WindowFixture f;
        f.create();
        f.form.reset();
        QCOMPARE(f.readSettings(), QByteArray("[COG]\nthreshold=5\nshoweffect=0\n"
                                              "[Output]\nignoreIncomplete=0\nautocolor=1\ncolor=1\ndebayersafe=0\n"
                                              "[Size]\nwidth=12\nheight=12\nauto=0\n"));
        QVERIFY(f.shown->empty());
    }

    void exitWritesTheControlsAndKeepsEverythingElse()
    {
        WindowFixture f;
        f.writeSettings("; Orbicrop settings, edited by hand\r\n"
                        "[Size]\r\n"
                        "auto=1\r\n"
                        "width=4\r\n"
                        "\r\n"
                        "[Camera]\r\n"
                        "gain=300 ; the good night\r\n"
                        "[Output]\r\n"
                        "color=0\r\n");
        TForm1& w = f.create();
        w.trackCOG->setValue(-12);
        w.trackWidth->setValue(20);
        w.checkY800->click();
        w.checkDebayerSafe->click();
        f.form.reset();
        QCOMPARE(f.readSettings(), QByteArray("; Orbicrop settings, edited by hand\r\n"
                                              "[Size]\r\n"
                                              "auto=0\r\n"
                                              "width=20\r\n"
                                              "height=12\r\n"
                                              "\r\n"
                                              "[Camera]\r\n"
                                              "gain=300 ; the good night\r\n"
                                              "[Output]\r\n"
                                              "color=0\r\n"
                                              "ignoreIncomplete=0\r\n"
                                              "autocolor=1\r\n"
                                              "debayersafe=1\r\n"
                                              "[COG]\r\n"
                                              "threshold=-12\r\n"
                                              "showeffect=0\r\n"));
    }

    void fileThatCannotBeWrittenIsReportedAtExit()
    {
        WindowFixture f;
        // A plain file where the folder should be: neither the folder nor the
        // settings file can be made.
        QFile blocker(f.path(QStringLiteral("plain")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString unwritable = f.path(QStringLiteral("plain/Orbicrop.ini"));
        f.create(unwritable);
        f.form.reset();
        QCOMPARE(f.shown->size(), std::size_t(1));
        QCOMPARE(f.shown->front().kind, MessageSink::Kind::Error);
        QCOMPARE(f.shown->front().text, QStringLiteral("Unable to write to ") + unwritable + QStringLiteral("."));
    }

    void missingConfigurationFolderIsMadeAtExit()
    {
        WindowFixture f;
        const QString nested = f.path(QStringLiteral("config/orbicrop/Orbicrop.ini"));
        f.create(nested);
        f.form.reset();
        QVERIFY(QFileInfo::exists(nested));
        QVERIFY(f.shown->empty());
    }
};

std::unique_ptr<QObject> MakeTestWindowSettings() { return std::make_unique<TestWindowSettings>(); }

#include "test_window_settings.moc"
