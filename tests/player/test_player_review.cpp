// Reviewing in the window, on scripted graphs: the recorder's clock, the keys whatever has the
// focus, Go to time, the notice line, and a window that grows.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "player_fixture.h"
#include "resources/resource_ids.h"
#include "shell/marked_slider.h"
#include "shell/review_keys.h"
#include "shell/time_label.h"
#include "view/recording_clock.h"

using namespace vedra;
using namespace vedra::test;

namespace {

// Counts the paint events of the widgets it filters.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(int& paints) : paints_(paints) {}
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints_ += event->type() == QEvent::Paint;
        return false;
    }

private:
    int& paints_;
};

constexpr uint64_t kFileTimeOf1970 = 116444736000000000ull;
// 2026-12-07 17:48:31 UTC as the recorder writes it.
constexpr uint64_t kCreation = kFileTimeOf1970 + 1796665711ull * 10000000ull;

Recording RecordingAt(uint64_t creation, uint32_t timeBaseMs)
{
    Recording r;
    r.creationDate = creation;
    r.timeBaseMs = timeBaseMs;
    return r;
}

// Four channels of 20 s with audio, dropped on an initialised dialog and playing.
std::unique_ptr<CVedraPlayerDlg> OpenFour(PlayerFixture& fx)
{
    for (const char* n : {"Audio1.wav", "Video1.krv", "Video2.krv", "Video3.krv", "Video4.krv"})
        fx.world.files[n] = {true, 20, 0};
    fx.Channels({"Audio1.wav", "Video1.krv", "Video2.krv", "Video3.krv", "Video4.krv"});
    fx.creationDate = kCreation;
    auto d = fx.MakeDialog();
    d->show();
    d->OnDropFiles({fx.MakeRecording("cam.krv", 4)});
    return d;
}

QString SpeedShown(CVedraPlayerDlg& d)
{
    return d.findChild<QLabel*>("speed")->text();
}

} // namespace

class PlayerReviewTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("TZ", "UTC"); }

    void recorderTime_data()
    {
        QTest::addColumn<qulonglong>("creation");
        QTest::addColumn<uint>("timeBaseMs");
        QTest::addColumn<double>("deck");
        QTest::addColumn<QString>("text");
        QTest::newRow("time of day") << qulonglong(kCreation) << 0u << 0.0 << "2026-12-07 17:48:31.000";
        QTest::newRow("late start, to the ms") << qulonglong(kCreation) << 1000u << 2.345 << "2026-12-07 17:48:34.345";
        // The same second twice, then the next: the second's text is kept between calls.
        QTest::newRow("a second's last ms") << qulonglong(kCreation) << 0u << 0.999 << "2026-12-07 17:48:31.999";
        QTest::newRow("the next second") << qulonglong(kCreation) << 0u << 1.0 << "2026-12-07 17:48:32.000";
        QTest::newRow("past midnight") << qulonglong(kCreation) << 0u << 6.0 * 3600 << "2026-12-07 23:48:31.000";
        QTest::newRow("no creation date: offset") << qulonglong(0) << 1000u << 65.04 << "00:01:06.040";
        QTest::newRow("long offset") << qulonglong(0) << 0u << 100 * 3600.0 << "100:00:00.000";
    }
    void recorderTime()
    {
        QFETCH(qulonglong, creation);
        QFETCH(uint, timeBaseMs);
        QFETCH(double, deck);
        QFETCH(QString, text);
        QCOMPARE(RecorderTimeText(RecordingAt(creation, timeBaseMs), deck), text);
    }

    void goToTimeReadsTimesOfDayAndOffsets_data()
    {
        QTest::addColumn<qulonglong>("creation");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<double>("deck"); // -1: not a time
        QTest::newRow("time of day") << qulonglong(kCreation) << "17:49:31" << 59.0;
        QTest::newRow("with ms") << qulonglong(kCreation) << "17:48:32.25" << 0.25;
        QTest::newRow("with date") << qulonglong(kCreation) << "2026-12-07 18:00:00" << 688.0;
        QTest::newRow("after midnight") << qulonglong(kCreation) << "00:10:00" << 22888.0;
        // Offsets count from the counter's 0, the first frame, not from the recording's time 0.
        QTest::newRow("offset seconds") << qulonglong(kCreation) << "90" << 90.0;
        QTest::newRow("forced offset m:s") << qulonglong(kCreation) << "+1:30" << 90.0;
        QTest::newRow("forced offset, clock form") << qulonglong(kCreation) << "+03:00:00" << 10800.0;
        QTest::newRow("offset without date") << qulonglong(0) << "0:01:30.500" << 90.5;
        // A time of day outside the recording goes nowhere: not to its end, not to the next day.
        QTest::newRow("before the first frame") << qulonglong(kCreation) << "17:48:31.5" << -1.0;
        QTest::newRow("after the last frame") << qulonglong(kCreation) << "03:00:00" << -1.0;
        QTest::newRow("nonsense") << qulonglong(kCreation) << "soon" << -1.0;
        QTest::newRow("negative") << qulonglong(kCreation) << "-5" << -1.0;
        QTest::newRow("empty") << qulonglong(kCreation) << "" << -1.0;
    }
    void goToTimeReadsTimesOfDayAndOffsets()
    {
        QFETCH(qulonglong, creation);
        QFETCH(QString, typed);
        QFETCH(double, deck);
        QString error;
        const auto t = ParseRecorderTime(RecordingAt(creation, 1000), 8 * 3600.0, typed, error);
        if (deck < 0) {
            QVERIFY(!t);
            QVERIFY(!error.isEmpty());
        } else {
            QVERIFY(t);
            QCOMPARE(*t, deck);
        }
    }

    // The keys act whatever has the focus: a button does not take Space, the trackbar not the
    // arrows.
    void keysActWhateverHasTheFocus()
    {
        PlayerFixture fx;
        auto d = OpenFour(fx);
        FakeGraph* ch1 = Fake(d->deck().ChannelSlot(0));
        d->control(IDC_PLAY)->setFocus();
        QTest::keyClick(d->focusWidget(), Qt::Key_Space);
        QCOMPARE(d->deck().playingMask(), uint8_t{0}); // paused, not played again
        d->trackbar(IDC_PROGRESS)->setFocus();
        QTest::keyClick(d->focusWidget(), Qt::Key_Right);
        QCOMPARE(ch1->position, 5.0);
        QTest::keyClick(d->focusWidget(), Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(ch1->position, 20.0);
        QTest::keyClick(d->focusWidget(), Qt::Key_Home);
        QCOMPARE(ch1->position, 0.0);
        for (int n = 0; n < 3; ++n)
            QTest::keyClick(d->focusWidget(), Qt::Key_Period);
        QVERIFY(qAbs(ch1->position - 0.12) < 1e-9);
        QTest::keyClick(d->focusWidget(), Qt::Key_Comma);
        QVERIFY(qAbs(ch1->position - 0.119) < 1e-9);
        QTest::keyClick(d->focusWidget(), Qt::Key_BracketRight);
        QCOMPARE(SpeedShown(*d), QString("2x"));
        QTest::keyClick(d->focusWidget(), Qt::Key_BracketLeft);
        QTest::keyClick(d->focusWidget(), Qt::Key_BracketLeft);
        QCOMPARE(SpeedShown(*d), QString("1/2x"));
        QTest::keyClick(d->focusWidget(), Qt::Key_Backspace);
        QCOMPARE(SpeedShown(*d), QString("1x"));
        QTest::keyClick(d->focusWidget(), Qt::Key_Space);
        QVERIFY(d->deck().playingMask() != 0);
        QVERIFY(d->isVisible());
    }

    // F1 lists every key; Esc closes the list first, then the window.
    void keyListAndEscape()
    {
        PlayerFixture fx;
        auto d = OpenFour(fx);
        auto* list = d->findChild<QLabel*>("keys");
        QTest::keyClick(d.get(), Qt::Key_F1);
        QVERIFY(list->isVisible());
        for (const char* line : {"Space", "Ctrl+G", "PageUp / PageDown", "[ / ]", "N / Shift+N", "Timeline", "F1"})
            QVERIFY2(list->text().contains(line), line);
        QTest::keyClick(d.get(), Qt::Key_Escape);
        QVERIFY(!list->isVisible());
        QVERIFY(d->isVisible());
        QTest::keyClick(d.get(), Qt::Key_Question, Qt::ShiftModifier);
        QVERIFY(list->isVisible());
    }

    // The title names the file and the recorder's time of the picture; Go to time moves there.
    void titleAndGoToTime()
    {
        PlayerFixture fx;
        auto d = OpenFour(fx);
        d->OnPause();
        d->OnTimer();
        QCOMPARE(d->windowTitle().section(QStringLiteral("  \u2014  "), 1), QString("2026-12-07 17:48:31.000"));
        d->askTime = [](QWidget*, const QString& now) { return now.left(11) + QStringLiteral("17:48:43.5"); };
        QTest::keyClick(d.get(), Qt::Key_G, Qt::ControlModifier);
        QCOMPARE(Fake(d->deck().ChannelSlot(2))->position, 12.5);
        QVERIFY(d->windowTitle().endsWith("17:48:43.500"));
        d->askTime = [](QWidget*, const QString&) { return QStringLiteral("later"); };
        d->OnGoToTime();
        QVERIFY(d->noticeText().contains("later"));
    }

    // Snapshots: a notice names what was written, nothing modal.
    void noticeAfterSnapshots()
    {
        PlayerFixture fx;
        auto d = OpenFour(fx);
        d->OnPause();
        QTest::keyClick(d.get(), Qt::Key_S);
        // The scripted graphs write nothing: the paths they were asked for appear.
        QStringList asked;
        for (int k = 0; k < 4; ++k) {
            const std::string request = Fake(d->deck().ChannelSlot(k))->snapshots.back();
            asked << QString::fromStdString(request.substr(4));
        }
        for (const QString& path : asked) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QTRY_VERIFY(d->noticeText().startsWith("4 files in "));
    }

    // A click on the trackbar jumps to the clicked point.
    // I and O keep a range whose start is before its end: a mark set on the wrong side of the
    // other clears that one, and the notice line says so.
    void marksKeepAValidRange_data()
    {
        QTest::addColumn<QString>("keys"); // at 5 s, then at 15 s
        QTest::addColumn<double>("in");
        QTest::addColumn<double>("out");
        QTest::addColumn<QString>("notice");
        QTest::newRow("I then O") << "IO" << 5.0 << 15.0 << "";
        QTest::newRow("O then I after it") << "OI" << 15.0 << -1.0 << "End mark cleared";
        QTest::newRow("I twice: the later") << "II" << 15.0 << -1.0 << "";
    }
    void marksKeepAValidRange()
    {
        QFETCH(QString, keys);
        QFETCH(double, in);
        QFETCH(double, out);
        QFETCH(QString, notice);
        PlayerFixture fx;
        auto d = OpenFour(fx);
        d->OnPause();
        const double at[] = {5.0, 15.0};
        for (int n = 0; n < 2; ++n) {
            d->deck().JumpTo(at[n]);
            QTest::keyClick(d.get(), keys[n] == 'I' ? Qt::Key_I : Qt::Key_O);
        }
        QCOMPARE(d->deck().markIn(), in);
        QCOMPARE(d->deck().markOut(), out);
        QVERIFY2(notice.isEmpty() ? !d->noticeText().contains("mark") : d->noticeText().startsWith(notice),
                 qPrintable(d->noticeText()));
        // Back before the start: O there clears the start mark.
        d->deck().JumpTo(1.0);
        QTest::keyClick(d.get(), Qt::Key_O);
        QCOMPARE(d->deck().markOut(), 1.0);
        QCOMPARE(d->deck().markIn(), -1.0);
        QVERIFY(d->noticeText().startsWith("Start mark cleared"));
    }

    void clickOnTheTrackbarJumpsThere()
    {
        PlayerFixture fx;
        auto d = OpenFour(fx);
        d->OnPause();
        QSlider* track = d->trackbar(IDC_PROGRESS);
        QTest::mouseClick(track, Qt::LeftButton, {}, QPoint(track->width() * 3 / 4, track->height() / 2));
        QVERIFY2(qAbs(track->value() - 750) < 30, qPrintable(QString::number(track->value())));
        QVERIFY(qAbs(Fake(d->deck().ChannelSlot(0))->position - 15.0) < 0.6);
    }

    // The playing time moves the trackbar's value ten times a second; it is repainted only when
    // the thumb moves a pixel, or when the last repaint was not whole.
    void trackbarRepaintsWhenTheThumbMoves()
    {
        MarkedSlider track(nullptr);
        track.setRange(0, 100'000);
        track.resize(300, 24);
        track.show();
        QVERIFY(QTest::qWaitForWindowExposed(&track));
        int paints = 0;
        PaintCounter counter(paints);
        track.installEventFilter(&counter);
        const auto paintsAfter = [&](auto change) {
            QCoreApplication::processEvents();
            paints = 0;
            change();
            QCoreApplication::processEvents();
            return paints;
        };
        QVERIFY(paintsAfter([&] { track.setValue(50'000); }) > 0);
        QCOMPARE(paintsAfter([&] { track.setValue(50'001); }), 0);
        QVERIFY(paintsAfter([&] { track.setValue(80'000); }) > 0);
        QVERIFY(paintsAfter([&] { track.update(0, 0, 4, 4); }) > 0);
        QVERIFY(paintsAfter([&] { track.setValue(80'001); }) > 0);
        // The marks and a new range repaint whatever the thumb does.
        QVERIFY(paintsAfter([&] { track.SetMarks(10'000, 90'000); }) > 0);
        QVERIFY(paintsAfter([&] { track.setRange(0, 1000); }) > 0);
    }

    // The time labels draw their text from cached glyphs where a plain label lays it out.
    void timeLabelDrawsAsALabel_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("alignment");
        QTest::newRow("seconds, left") << "12.3456" << int(Qt::AlignLeft | Qt::AlignVCenter);
        QTest::newRow("total, centred") << "600" << int(Qt::AlignCenter);
        QTest::newRow("right") << "0.04" << int(Qt::AlignRight | Qt::AlignVCenter);
        QTest::newRow("rich text: the label's own") << "<b>12.5</b>" << int(Qt::AlignLeft | Qt::AlignVCenter);
    }
    void timeLabelDrawsAsALabel()
    {
        QFETCH(QString, text);
        QFETCH(int, alignment);
        // Both parities of the room left around the line.
        for (const int height : {20, 21}) {
            const auto grab = [&](QLabel& label) {
                label.setAlignment(Qt::Alignment(alignment));
                label.resize(60, height);
                return label.grab().toImage().convertToFormat(QImage::Format_RGB32);
            };
            QLabel plain(text);
            TimeLabel cached(text);
            const QImage a = grab(plain), b = grab(cached);
            QCOMPARE(a.size(), b.size());
            // Ink where the label puts ink: at most a few edge pixels differ, and only a little.
            int inked = 0, apart = 0;
            for (int y = 0; y < a.height(); ++y)
                for (int x = 0; x < a.width(); ++x) {
                    const int g = qGray(a.pixel(x, y)), h = qGray(b.pixel(x, y));
                    inked += g < 128;
                    apart += std::abs(g - h) > 96;
                }
            QVERIFY(inked > 10);
            QVERIFY2(apart * 50 <= inked, qPrintable(QString("%1 of %2 inked pixels apart").arg(apart).arg(inked)));
        }
    }

    // The template's size is the smallest; the video area takes what the window gains and the
    // controls below move down with it.
    void windowGrows()
    {
        PlayerFixture fx;
        auto d = OpenFour(fx);
        const QRect pane = d->control(IDC_PANE_1)->geometry();
        const QRect play = d->control(IDC_PLAY)->geometry();
        const QRect track = d->control(IDC_PROGRESS)->geometry();
        d->resize(d->width() + 200, d->height() + 100);
        QCOMPARE(d->control(IDC_PANE_1)->width(), pane.width() + 100);
        QCOMPARE(d->control(IDC_PANE_1)->height(), pane.height() + 50);
        QCOMPARE(d->control(IDC_PANE_LARGE)->geometry().bottomRight(),
                 d->control(IDC_PANE_1 + 3)->geometry().bottomRight());
        QCOMPARE(d->control(IDC_PLAY)->geometry(), play.translated(0, 100));
        QCOMPARE(d->control(IDC_PROGRESS)->width(), track.width() + 200);
        d->resize(100, 100);
        QCOMPARE(d->size(), CVedraPlayerDlg::TemplateSize());
    }
};

QTEST_MAIN(PlayerReviewTest)
#include "test_player_review.moc"
