#include "edit/trackedit.h"
#include "fixtures.h"
#include "trackcompare.h"

#include <QtTest>

#include <functional>

using namespace TrackEdit;

namespace {
// 2024-03-30 22:00 UTC: Europe/Berlin goes to summer time at 01:00 UTC on the 31st.
const quint32 T0 = 1711836000;

// Points a minute apart (with one `gapAt` of `gapS` more), every field set, one mark, the
// first point of each segment but the first flagged.
Track minutes(int n, quint32 start, int gapAt = -1, quint32 gapS = 0)
{
    Track t{start, 2, {}};
    quint32 time = start;
    for (int i = 0; i < n; ++i) {
        TrackPoint p =
            point(47 + i * 1e-4, 8 + i * 1e-4, 400 + i * 0.25, time, 1000 + quint32(i), i == 3);
        p.millis = quint16(i * 7 % 1000);
        p.field7 = quint32(i);
        p.flags = i == 5 ? TrackPoint::NoAltitude : 0;
        t.points << p;
        time += 60 + (i + 1 == gapAt ? gapS : 0);
    }
    return t;
}

bool bitForBit(const QVector<Track> &a, const QVector<Track> &b)
{
    if (!samePoints(a, b, true))
        return false;
    for (int t = 0; t < a.size(); ++t)
        for (int i = 0; i < a[t].points.size(); ++i)
            if (a[t].name != b[t].name || a[t].description != b[t].description ||
                a[t].points[i].millis != b[t].points[i].millis ||
                a[t].points[i].flags != b[t].points[i].flags)
                return false;
    return true;
}
} // namespace

Q_DECLARE_METATYPE(std::function<Result(const QVector<Track> &)>)

class TestEdit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("TZ", "Europe/Berlin"); }

    // Each edit: the tracks' sizes after it (and their starts), then undone: the original to
    // the bit, and redone: the same as the first time.
    void edits_data()
    {
        using Edit = std::function<Result(const QVector<Track> &)>;
        QTest::addColumn<QVector<Track>>("before");
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<QString>("after"); // sizes of the tracks, or "refused: ..."
        const QVector<Track> two{minutes(10, T0), minutes(6, T0 + 3 * 86400)};
        QTest::newRow("delete a range")
            << two << Edit([](auto &t) { return deleteRange(t, 0, 2, 5); }) << "7 6";
        QTest::newRow("delete a selection with gaps, from the first point")
            << two << Edit([](auto &t) { return deletePoints(t, 0, {0, 1, 4, 6, 7, 9}); })
            << "4 6";
        QTest::newRow("delete a whole track")
            << two << Edit([](auto &t) { return deleteRange(t, 1, 0, 6); }) << "10";
        QTest::newRow("crop") << two << Edit([](auto &t) { return crop(t, 0, 2, 5); }) << "3 6";
        QTest::newRow("trim before")
            << two << Edit([](auto &t) { return trimBefore(t, 0, 6); }) << "4 6";
        QTest::newRow("trim after")
            << two << Edit([](auto &t) { return trimAfter(t, 0, 6); }) << "7 6";
        QTest::newRow("split here")
            << two << Edit([](auto &t) { return splitAt(t, 0, 4); }) << "4 6 6";
        QTest::newRow("split at the first point is refused")
            << two << Edit([](auto &t) { return splitAt(t, 0, 0); })
            << "refused: A track is split at a point after its first.";
        QTest::newRow("split at pauses")
            << QVector<Track>{minutes(10, T0, 6, 1800)}
            << Edit([](auto &t) { return splitAtPauses(t, 0, 20); }) << "6 4";
        // 22:00 UTC on: midnight in Berlin comes after two hours, midnight UTC after four;
        // the next local midnight is 22 hours later (the clock goes forward).
        const QVector<Track> night{minutes(60 * 30, T0)};
        QTest::newRow("split by day, local across the clock change")
            << night << Edit([](auto &t) { return splitByDay(t, 0, TimeShown::Local); })
            << "60 1380 360";
        QTest::newRow("split by day, UTC")
            << night << Edit([](auto &t) { return splitByDay(t, 0, TimeShown::Utc); })
            << "120 1440 240";
        QTest::newRow("rename") << two << Edit([](auto &t) {
            return rename(t, 1, QStringLiteral(" Walk "), QStringLiteral("to the lake"));
        }) << "10 6 Walk";
        QTest::newRow("rename to the same name is refused")
            << two << Edit([](auto &t) { return rename(t, 1, {}, {}); })
            << "refused: The name and description stay as they are.";
        QTest::newRow("merge as segments, in time order")
            << QVector<Track>{minutes(3, T0 + 86400), minutes(2, T0), minutes(4, T0 + 9 * 86400)}
            << Edit([](auto &t) {
                   return merge(t, {0, 1}, false);
               })
            << "5 4";
        QTest::newRow("merge joined") << two << Edit([](auto &t) {
            return merge(t, {0, 1}, true);
        }) << "16";
        QTest::newRow("merge of overlapping tracks is refused")
            << QVector<Track>{minutes(10, T0), minutes(3, T0 + 120)} << Edit([](auto &t) {
                   return merge(t, {0, 1}, false);
               })
            << "refused: Tracks 1 and 2 overlap in time: merging them would mix their points.";
    }

    void edits()
    {
        QFETCH(QVector<Track>, before);
        QFETCH(std::function<Result(const QVector<Track> &)>, edit);
        QFETCH(QString, after);
        const Result r = edit(before);
        if (!r.change) {
            QCOMPARE("refused: " + r.refusal, after);
            return;
        }
        QVector<Track> tracks = before;
        History history;
        history.push(tracks, *r.change);
        QStringList sizes;
        quint32 points = 0;
        for (const Track &t : tracks) {
            sizes << QString::number(t.points.size());
            if (!t.name.isEmpty())
                sizes << t.name;
            points += quint32(t.points.size());
            // A track starts at its first time; no point's time moved.
            QCOMPARE(t.startTime, t.points.first().time);
        }
        QCOMPARE(sizes.join(' '), after);
        const QVector<Track> edited = tracks;
        QVERIFY(history.undo(tracks));
        QVERIFY(bitForBit(tracks, before));
        QVERIFY(history.redo(tracks));
        QVERIFY(bitForBit(tracks, edited));
        if (before.size() == 1 && r.change->name.startsWith("Split")) { // nothing lost
            QVector<TrackPoint> all;
            for (const Track &t : tracks)
                all += t.points;
            QVERIFY(bitForBit({Track{before[0].startTime, 2, all}}, {before[0]}));
        }
    }

    void history()
    {
        QVector<Track> tracks{minutes(300, T0)};
        const QVector<Track> original = tracks;
        History h(100);
        for (int i = 0; i < 150; ++i)
            h.push(tracks, *deleteRange(tracks, 0, 0, 1).change);
        QCOMPARE(tracks[0].points.size(), 150);
        QCOMPARE(h.undoName(), QStringLiteral("Delete"));
        while (h.undo(tracks)) {
        }
        QCOMPARE(tracks[0].points.size(), 250); // the oldest 50 are beyond undoing
        QVERIFY(bitForBit({Track{T0, 2, tracks[0].points}},
                          {Track{T0, 2, original[0].points.mid(50)}}));
        h.push(tracks, *splitAt(tracks, 0, 10).change);
        QVERIFY(!h.redo(tracks)); // a new edit ends what could be redone
    }
};

QTEST_GUILESS_MAIN(TestEdit)
#include "tst_edit.moc"
