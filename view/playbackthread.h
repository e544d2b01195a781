#ifndef PLAYBACKTHREAD_H
#define PLAYBACKTHREAD_H

#include <QThread>

#include <atomic>

// Steps through the point list: it only counts and sleeps, and tells the view
// which point to show; all view work happens when its signals arrive.
class PlaybackThread : public QThread
{
    Q_OBJECT

public:
    explicit PlaybackThread(QObject *parent = nullptr);
    ~PlaybackThread() override;

    void setCount(int count) { pointCount = count; }
    void setStart(int start) { startIndex = start; }
    // Speed step 0, 1 or 2 from the tool bar: 750, 500 or 250 ms a point.
    // Takes effect from the next pause, also while running.
    void setSpeed(int step);
    int delay() const { return delayMs; }
    // Ends the run after the current pause and waits for it.
    void stop();

signals:
    void currentPoint(int index);
    void playEnd();

protected:
    void run() override;

private:
    int pointCount = 0;
    int startIndex = 0;
    std::atomic<int> delayMs{750};
    std::atomic<bool> stopRequested{false};
};

#endif // PLAYBACKTHREAD_H
