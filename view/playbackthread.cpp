#include "view/playbackthread.h"

PlaybackThread::PlaybackThread(QObject *parent) : QThread(parent) {}

PlaybackThread::~PlaybackThread()
{
    stop();
}

void PlaybackThread::setSpeed(int step)
{
    switch (step) {
    case 0:
        delayMs = 750;
        break;
    case 1:
        delayMs = 500;
        break;
    case 2:
        delayMs = 250;
        break;
    default:
        break;
    }
}

void PlaybackThread::stop()
{
    stopRequested = true;
    wait();
}

void PlaybackThread::run()
{
    int i = startIndex;
    if (i >= pointCount) {
        emit playEnd();
        return;
    }
    if (stopRequested)
        return;
    for (;;) {
        emit currentPoint(i);
        if (i != pointCount - 1)
            msleep(static_cast<unsigned long>(delayMs.load()));
        ++i;
        if (i >= pointCount)
            break;
        if (stopRequested)
            return;
    }
    emit playEnd();
}
