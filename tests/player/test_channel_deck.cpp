// The channel deck through its own API, without a window: layouts by the channel boxes, boxes of
// absent channels, panes that hold nothing, and the transport on one clock.
#include <QTest>

#include "deck_fixture.h"

using namespace vedra;
using namespace vedra::test;

namespace {

// "channel:pane" for every attached channel, in channel order (pane 4 is the large one).
QString Placement(const DeckFixture& fx)
{
    QStringList parts;
    for (int i = 0; i < 4; ++i) {
        if (!fx.controls.checked[i])
            continue;
        const PlaybackGraph* graph = fx.deck.CheckedGraph(i);
        for (int pane = 0; pane < 5 && graph != nullptr; ++pane)
            if (Fake(graph)->pane == fx.controls.panes[pane].get())
                parts << QString("%1:%2").arg(i + 1).arg(pane);
    }
    return parts.join(' ');
}

void FillPanes(DeckFixture& fx)
{
    QImage lit(8, 8, QImage::Format_RGB32);
    lit.fill(Qt::white);
    for (auto& pane : fx.controls.panes)
        pane->ShowPicture(lit);
}

} // namespace

class ChannelDeckTest : public QObject {
    Q_OBJECT

private slots:
    // Which layout the boxes lead to, by the number of channels checked after each click.
    void boxesChooseTheLayout_data()
    {
        QTest::addColumn<QList<int>>("clicks"); // box indices, in order
        QTest::addColumn<int>("visible");
        QTest::addColumn<bool>("single");
        QTest::addColumn<QString>("placement");
        QTest::newRow("shown: quad") << QList<int>{} << 4 << false << "1:0 2:1 3:2 4:3";
        QTest::newRow("unchecking to 3 only removes") << QList<int>{1} << 3 << false << "1:0 3:2 4:3";
        QTest::newRow("unchecking to 2 only removes") << QList<int>{1, 3} << 2 << false << "1:0 3:2";
        QTest::newRow("unchecking to 1: single") << QList<int>{1, 3, 0} << 1 << true << "3:4";
        QTest::newRow("unchecking to 0: large pane empty") << QList<int>{1, 3, 0, 2} << 0 << true << "";
        QTest::newRow("checking to 1: single") << QList<int>{1, 3, 0, 2, 3} << 1 << true << "4:4";
        QTest::newRow("checking to 2: quad again") << QList<int>{1, 3, 0, 2, 3, 0} << 2 << false << "1:0 4:3";
        QTest::newRow("checking to 3: its own pane") << QList<int>{1, 3, 0, 2, 3, 0, 1} << 3 << false << "1:0 2:1 4:3";
    }
    void boxesChooseTheLayout()
    {
        QFETCH(QList<int>, clicks);
        QFETCH(int, visible);
        QFETCH(bool, single);
        QFETCH(QString, placement);
        DeckFixture fx(0x0F);
        QVERIFY(fx.deck.ShowQuadView(&fx.recording));
        fx.deck.OnPause();
        for (int box : clicks)
            fx.controls.Click(fx.deck, box);
        QCOMPARE(fx.deck.visibleCount(), visible);
        QCOMPARE(fx.controls.shown[IDeckControls::kLargePane], single);
        QCOMPARE(fx.controls.shown[0], !single);
        QCOMPARE(Placement(fx), placement);
        QCOMPARE(fx.recording.visibleCount, visible); // kept with the recording
    }

    // A box whose channel the recording lacks is never enabled nor ticked, whatever the state.
    void boxesOfAbsentChannelsStayOff()
    {
        DeckFixture fx(0x0A);
        QVERIFY(fx.deck.ShowQuadView(&fx.recording));
        auto absentOff = [&fx] {
            return !fx.controls.enabled[0] && !fx.controls.enabled[2] && !fx.controls.checked[0] &&
                   !fx.controls.checked[2];
        };
        QVERIFY(absentOff());
        fx.deck.OnPlay();
        fx.deck.OnTimer();
        QVERIFY(absentOff());
        QVERIFY(!fx.controls.enabled[1] && !fx.controls.enabled[3]); // locked while playing
        fx.deck.OnPause();
        fx.deck.OnTimer();
        QVERIFY(absentOff());
        QVERIFY(fx.controls.enabled[1] && fx.controls.enabled[3]);
        fx.controls.Click(fx.deck, 0); // a click that reaches it anyway changes nothing
        QVERIFY(absentOff());
        QCOMPARE(Placement(fx), QString("2:1 4:3"));
        // Taken off the screen, no box reaches the recording any more.
        fx.deck.TakeOffScreen();
        for (int i = 0; i < 4; ++i)
            QVERIFY(!fx.controls.enabled[i]);
        QVERIFY(fx.deck.recording() == nullptr);
    }

    // A pane that holds no channel shows black: after an untick, and for the channels another
    // recording lacks.
    void panesHoldingNothingAreBlack()
    {
        DeckFixture four(0x0F);
        QVERIFY(four.deck.ShowQuadView(&four.recording));
        four.deck.OnPause();
        FillPanes(four);
        four.controls.Click(four.deck, 1);
        QVERIFY(four.controls.panes[1]->picture().isNull());
        QVERIFY(!four.controls.panes[0]->picture().isNull()); // held: its graph paints it
        four.deck.TakeOffScreen();
        for (auto& pane : four.controls.panes)
            QVERIFY(pane->picture().isNull());

        DeckFixture two(0x0A);
        FillPanes(two);
        QVERIFY(two.deck.ShowQuadView(&two.recording));
        QVERIFY(two.controls.panes[0]->picture().isNull() && two.controls.panes[2]->picture().isNull());
        QVERIFY(two.controls.panes[IDeckControls::kLargePane]->picture().isNull());
    }

    // Play cues every checked channel and the audio at one time and starts them with one base
    // time; Pause puts them all, and the labels, at the time the lowest playing channel shows.
    void transportRunsEverythingOnOneClock()
    {
        DeckFixture fx(0x0B, {120, 120, 120, 60}); // channels 1, 2 and 4
        QVERIFY(fx.deck.ShowQuadView(&fx.recording));
        fx.controls.progress = 500;
        fx.deck.OnPlay();
        QCOMPARE(fx.deck.playingMask(), uint8_t{0x07});
        for (FakeGraph* g : {fx.Channel(0), fx.Channel(1), fx.Channel(2), fx.Audio()}) {
            QCOMPARE(g->state, FakeGraph::State::kRunning);
            QCOMPARE(g->position, 60.0);
            QCOMPARE(g->baseTime, fx.Channel(0)->baseTime);
        }
        fx.Channel(0)->position = 61.234; // the clock went on
        fx.deck.OnPause();
        for (FakeGraph* g : {fx.Channel(0), fx.Channel(1), fx.Channel(2), fx.Audio()}) {
            QCOMPARE(g->state, FakeGraph::State::kPaused);
            QCOMPARE(g->position, 61.234);
        }
        QCOMPARE(fx.controls.shownCurrent, 61.234f);
        QCOMPARE(fx.controls.progress, 510);
        // Play again goes on from there, to the frame, not from the thumb's coarser place.
        fx.deck.OnPlay();
        QCOMPARE(fx.Channel(1)->position, 61.234);
    }

    // A thumb being dragged seeks to key frames; where it is let go, to the frame. Seeking while
    // playing starts the playing graphs again together; a channel that ended stays paused.
    void seeksFollowTheThumb()
    {
        DeckFixture fx(0x03, {100, 100, 0, 0});
        QVERIFY(fx.deck.ShowQuadView(&fx.recording));
        fx.deck.OnPlay();
        fx.Channel(1)->ended = true;
        fx.deck.OnGraphNotify();
        QCOMPARE(fx.deck.playingMask(), uint8_t{0x01});
        fx.controls.dragged = true;
        fx.controls.progress = 300;
        fx.deck.OnProgressMoved();
        QCOMPARE(fx.Channel(0)->modes.back(), SeekMode::kKeyUnit);
        fx.controls.dragged = false;
        fx.deck.OnProgressMoved();
        QCOMPARE(fx.Channel(0)->modes.back(), SeekMode::kAccurate);
        QCOMPARE(fx.Channel(0)->position, 30.0);
        QCOMPARE(fx.Channel(1)->position, 30.0);
        QCOMPARE(fx.Channel(0)->state, FakeGraph::State::kRunning);
        QCOMPARE(fx.Channel(1)->state, FakeGraph::State::kPaused);
        QCOMPARE(fx.Audio()->baseTime, fx.Channel(0)->baseTime);
    }

    // Ticking a channel back while paused shows it at the time the others show, and the labels
    // say that time, not 0.
    void tickingBackKeepsTheTimeOnScreen()
    {
        DeckFixture fx(0x0F, {3600, 3600, 3600, 3600});
        QVERIFY(fx.deck.ShowQuadView(&fx.recording));
        fx.deck.OnPlay();
        fx.Channel(0)->position = 1234.56; // a long recording: one thumb step is 3.6 s
        fx.deck.OnPause();
        fx.controls.Click(fx.deck, 2);
        fx.controls.Click(fx.deck, 2);
        QCOMPARE(fx.Channel(2)->position, 1234.56);
        QCOMPARE(fx.Channel(0)->position, 1234.56);
        QCOMPARE(fx.controls.shownCurrent, 1234.56f);
    }

    // Frame steps while paused: every channel one frame on, to one instant; ten quick presses
    // are ten frames; back steps land on the frame before; nothing steps while playing.
    void framesStepOneByOne()
    {
        DeckFixture fx(0x0F);
        QVERIFY(fx.deck.ShowQuadView(&fx.recording));
        fx.controls.progress = 100; // 1 s
        fx.deck.OnPause();
        for (int n = 1; n <= 10; ++n)
            fx.deck.Step(+1);
        for (int k = 0; k < 4; ++k)
            QVERIFY(qAbs(fx.Channel(k)->position - 1.4) < 1e-9);
        QVERIFY(qAbs(fx.Audio()->position - 1.4) < 1e-9);
        QCOMPARE(fx.controls.shownCurrent, 1.4f);
        fx.deck.Step(-1);
        fx.deck.Step(-1);
        double start = 0, length = 0;
        for (int k = 0; k < 4; ++k) {
            QVERIFY(fx.Channel(k)->CurrentFrame(&start, &length));
            QVERIFY(qAbs(start - 1.32) < 1e-9);
        }
        QCOMPARE(fx.controls.shownCurrent, 1.32f);
        fx.deck.OnPlay();
        const double playing = fx.Channel(0)->position;
        fx.deck.Step(+1);
        QCOMPARE(fx.Channel(0)->position, playing);
    }

    void jumpsStayInsideTheRecording_data()
    {
        QTest::addColumn<double>("by");
        QTest::addColumn<double>("at");
        QTest::newRow("5 s on") << 5.0 << 15.0;
        QTest::newRow("a minute on, clamped at the end") << 60.0 << 20.0;
        QTest::newRow("a minute back, clamped at the start") << -60.0 << 0.0;
    }
    void jumpsStayInsideTheRecording()
    {
        QFETCH(double, by);
        QFETCH(double, at);
        DeckFixture fx(0x03, {20, 20, 0, 0});
        QVERIFY(fx.deck.ShowQuadView(&fx.recording));
        fx.deck.JumpTo(10);
        fx.deck.JumpBy(by);
        QCOMPARE(fx.Channel(0)->position, at);
        QCOMPARE(fx.Channel(1)->position, at);
        QCOMPARE(fx.controls.progress, static_cast<int>(at * 50));
    }

    // Speeds step along 1/8 to 16; the audio plays from 1/2x to 2x only; the speed stays when
    // another recording is shown.
    void speedsStepAndStay()
    {
        DeckFixture fx(0x01, {10, 0, 0, 0});
        QVERIFY(fx.deck.ShowQuadView(&fx.recording));
        fx.deck.OnPlay();
        fx.deck.ChangeSpeed(+1);
        QCOMPARE(fx.deck.speed(), 2.0);
        QCOMPARE(fx.Channel(0)->rate, 2.0);
        QCOMPARE(fx.Audio()->state, FakeGraph::State::kRunning);
        fx.deck.ChangeSpeed(+1);
        QCOMPARE(fx.Audio()->state, FakeGraph::State::kPaused); // silent above 2x
        QCOMPARE(fx.controls.shownSpeed, 4.0);
        for (int n = 0; n < 9; ++n)
            fx.deck.ChangeSpeed(+1);
        QCOMPARE(fx.deck.speed(), 16.0);
        for (int n = 0; n < 20; ++n)
            fx.deck.ChangeSpeed(-1);
        QCOMPARE(fx.deck.speed(), 0.125);
        fx.deck.SetSpeed(0.5);
        QCOMPARE(fx.Audio()->state, FakeGraph::State::kRunning);
        QCOMPARE(fx.Audio()->rate, 0.5);

        DeckFixture other(0x03);
        ChannelDeck& deck = fx.deck; // the same deck shows another recording
        deck.TakeOffScreen();
        QVERIFY(deck.ShowQuadView(&other.recording));
        QCOMPARE(other.Channel(1)->rate, 0.5);
        deck.TakeOffScreen();
    }

    // A double-click puts one channel alone in the large pane and back; a box click first
    // returns to the quad view.
    void oneCameraLarge()
    {
        DeckFixture fx(0x0F);
        QVERIFY(fx.deck.ShowQuadView(&fx.recording));
        fx.deck.ToggleLarge(2);
        QCOMPARE(fx.deck.enlargedBox(), 2);
        QCOMPARE(fx.Channel(2)->pane, fx.controls.panes[IDeckControls::kLargePane].get());
        QVERIFY(fx.controls.shown[IDeckControls::kLargePane] && !fx.controls.shown[0]);
        fx.deck.ToggleLarge(2);
        QCOMPARE(fx.deck.enlargedBox(), -1);
        QCOMPARE(Placement(fx), QString("1:0 2:1 3:2 4:3"));
        fx.deck.ToggleLarge(0);
        fx.deck.OnPause();
        fx.controls.Click(fx.deck, 3);
        QCOMPARE(fx.deck.enlargedBox(), -1);
        QCOMPARE(Placement(fx), QString("1:0 2:1 3:2"));
        // Not in the single layout.
        fx.controls.Click(fx.deck, 1);
        fx.controls.Click(fx.deck, 2);
        fx.deck.ToggleLarge(0);
        QCOMPARE(fx.deck.enlargedBox(), -1);
    }

    // I and O mark the time on screen; a mark on the wrong side of the other clears that one;
    // another recording on screen clears both.
    void marksOfARange()
    {
        DeckFixture fx(0x01, {100, 0, 0, 0});
        QVERIFY(fx.deck.ShowQuadView(&fx.recording));
        fx.deck.JumpTo(40);
        fx.deck.MarkIn();
        fx.deck.JumpTo(70);
        fx.deck.MarkOut();
        QCOMPARE(fx.controls.marks, std::make_pair(400, 700));
        fx.deck.JumpTo(80);
        fx.deck.MarkIn(); // after the out mark: the out mark goes
        QCOMPARE(fx.controls.marks, std::make_pair(800, -1));
        fx.deck.JumpTo(10);
        fx.deck.MarkOut(); // before the in mark: the in mark goes
        QCOMPARE(fx.controls.marks, std::make_pair(-1, 100));
        fx.deck.TakeOffScreen();
        QVERIFY(fx.deck.ShowQuadView(&fx.recording));
        QCOMPARE(fx.controls.marks, std::make_pair(-1, -1));
        QCOMPARE(fx.deck.markOut(), -1.0);
    }
};

QTEST_MAIN(ChannelDeckTest)
#include "test_channel_deck.moc"
