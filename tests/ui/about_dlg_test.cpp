// The about box: version texts, the two links, their colours and what a click does.
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

#include "platform/message_box.h"
#include "server/ui/about_dlg.h"
#include "server/ui/hyper_link.h"
#include "server/ui/url_opener.h"
#include "ui_test_support.h"

namespace {

// Pixels of exactly this colour in the widget as drawn.
int PixelsOf(QWidget* widget, const QColor& colour) {
    const QImage image = widget->grab().toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y).rgb() == colour.rgb()) ++count;
        }
    }
    return count;
}

void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center()); }

// Replaces the URL opener and the beep for one test.
struct FakeDesktop {
    int result;
    QStringList opened;
    int beeps = 0;
    UrlOpener previousOpener;
    BeepFunction previousBeep;
    explicit FakeDesktop(int r) : result(r) {
        previousOpener = SetUrlOpener([this](const std::string& url) {
            opened << QString::fromStdString(url);
            return result;
        });
        previousBeep = SetLinkBeep([this] { ++beeps; });
    }
    ~FakeDesktop() {
        SetUrlOpener(previousOpener);
        SetLinkBeep(previousBeep);
    }
};

}  // namespace

class AboutDlgTest : public QObject {
    Q_OBJECT
private slots:
    void showsTheCompiledInVersionTexts() {
        CAboutDlg about;
        QCOMPARE(about.windowTitle(), QStringLiteral("Info über tovan"));
        QCOMPARE(about.findChild<QLabel*>("1172")->text(), QStringLiteral("tovan - Version: 1, 2, 0, 0"));
        const QString legal = about.findChild<QLabel*>("1343")->text();
        QVERIFY(legal.contains("Quellwerk"));
        QVERIFY(legal.contains("Copyright"));
        auto* ok = about.findChild<QPushButton*>("IDOK");
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        QVERIFY(ok->isDefault());
        QVERIFY(about.findChild<QLabel*>("icon128") != nullptr);
    }

    void theLinksNameTheirTargets() {
        CAboutDlg about;
        CHyperLink* web = about.findChild<CHyperLink*>("1419");
        CHyperLink* mail = about.findChild<CHyperLink*>("1420");
        QCOMPARE(web->text(), QStringLiteral("TOVAN Homepage"));
        QCOMPARE(mail->text(), QStringLiteral("Quellwerk Email"));
        QVERIFY(web->URL().startsWith("https://"));
        QVERIFY(mail->URL().startsWith("mailto:"));
        QVERIFY(mail->URL().contains('@'));
        QCOMPARE(web->toolTip(), web->URL());
        QCOMPARE(mail->toolTip(), mail->URL());
        QCOMPARE(web->cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(web->font().underline());
        QVERIFY(!web->Visited());
    }

    void linksAreDrawnInTheLinkColourAndShrunkToTheirText() {
        CAboutDlg about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        CHyperLink* web = about.findChild<CHyperLink*>("1419");
        QCOMPARE(web->TextColour(), QColor(0, 0, 238));
        QVERIFY(PixelsOf(web, QColor(0, 0, 238)) > 0);
        QCOMPARE(PixelsOf(web, QColor(85, 26, 139)), 0);
        // Shrunk to the text: as wide as the text, starting where the template puts it.
        QCOMPARE(web->width(), web->fontMetrics().horizontalAdvance(web->text()));
        QVERIFY(web->width() < about.width() * 159 / 217);
        QCOMPARE(web->x(), about.findChild<QLabel*>("1343")->x());
    }

    void aSuccessfulClickOpensTheUrlAndMarksTheLinkVisited() {
        FakeDesktop desktop(kUrlOpened);
        uitest::RecordingBoxes boxes;
        CAboutDlg about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        CHyperLink* mail = about.findChild<CHyperLink*>("1420");
        Click(mail);
        QCOMPARE(desktop.opened, QStringList{mail->URL()});
        QVERIFY(mail->Visited());
        QCOMPARE(mail->TextColour(), QColor(85, 26, 139));
        QVERIFY(PixelsOf(mail, QColor(85, 26, 139)) > 0);
        QCOMPARE(PixelsOf(mail, QColor(0, 0, 238)), 0);
        QCOMPARE(desktop.beeps, 0);
        QVERIFY(boxes.Boxes().empty());
        // The other link is untouched.
        QVERIFY(!about.findChild<CHyperLink*>("1419")->Visited());
    }

    void aLinkNobodyHandlesBeepsAndSaysWhy() {
        FakeDesktop desktop(31);
        uitest::RecordingBoxes boxes;
        CAboutDlg about;
        about.show();
        CHyperLink* web = about.findChild<CHyperLink*>("1419");
        Click(web);
        QCOMPARE(desktop.opened, QStringList{web->URL()});
        QCOMPARE(desktop.beeps, 1);
        const auto shown = boxes.Boxes();
        QCOMPARE(shown.size(), size_t(1));
        QCOMPARE(shown[0].text, std::string("Unable to open hyperlink:\n\n"
                                            "There is no application associated\nwith the given filename extension."));
        QCOMPARE(shown[0].flags & platform::MB_ICONMASK, unsigned(platform::MB_ICONEXCLAMATION));
        QVERIFY(!web->Visited());
        QCOMPARE(web->TextColour(), QColor(0, 0, 238));
    }

    void errorTextsOfTheOpenCodes() {
        QCOMPARE(OpenUrlErrorText(2), std::string("The specified file was not found."));
        QCOMPARE(OpenUrlErrorText(26), std::string("A sharing violation occurred. "));
        QCOMPARE(OpenUrlErrorText(0), std::string("The operating system is out\nof memory or resources."));
        QCOMPARE(OpenUrlErrorText(40), std::string("Unknown Error (40) occurred."));
        QCOMPARE(OpenUrlErrorText(-3), std::string("Unknown Error (-3) occurred."));
    }

    void autoSizeKeepsTheAlignment() {
        QWidget parent;
        parent.resize(400, 100);
        CHyperLink right(QStringLiteral("right"), &parent);
        right.setAlignment(Qt::AlignRight | Qt::AlignTop);
        right.setGeometry(10, 10, 300, 40);
        right.SetAutoSize(true);
        QCOMPARE(right.geometry().right(), 309);
        QCOMPARE(right.y(), 10);

        CHyperLink centred(QStringLiteral("centred"), &parent);
        centred.setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        centred.setGeometry(10, 10, 300, 40);
        centred.SetAutoSize(true);
        QVERIFY(std::abs(centred.geometry().center().x() - 159) <= 1);
        QVERIFY(std::abs(centred.geometry().center().y() - 29) <= 1);

        // The tooltip follows the URL.
        CHyperLink empty(QString(), &parent);
        empty.SetURL(QStringLiteral("https://example.org/"));
        QCOMPARE(empty.toolTip(), QStringLiteral("https://example.org/"));
    }
};

TOVAN_UI_TEST_MAIN(AboutDlgTest)
#include "about_dlg_test.moc"
