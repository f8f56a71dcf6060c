#pragma once
#include <QString>
#include <QtGlobal>
#include <vector>

// One sample: the download's transferred bytes at a moment of the local clock.
struct TByteCount {
    qint64 Count = 0;
    // Day number and milliseconds since midnight.
    int Date = 0;
    int Time = 0;
    qint64 Moment() const { return qint64(Date) * 86'400'000 + Time; }
};

// The transfer rate and the time left of a download, over a sliding window of its
// most recent byte counts. The downloader feeds it every 100 ms; the window is a fixed
// ring, so an update allocates nothing for its sample.
class TTransferSpeed {
public:
    // The window holds numberOfValuesToMeasureOn - 2 samples (at least one).
    explicit TTransferSpeed(int numberOfValuesToMeasureOn);

    // Adds a sample of the current count at Now() and recomputes TransferRate.
    void Update(qint64 currentTransferCount);
    // "hh:mm:ss" for bytesLeft at the window's rate; "N/A" without a rate above 0 or
    // without bytes left.
    QString TimeLeft(qint64 bytesLeft) const;
    // Forgets every sample: the count starts over (a download begun again).
    void Reset();

    const int NumberOfValuesToMeasureOn;
    // kB (1024 bytes) per second over the window with one decimal in the user's
    // locale, "N/A" until two samples exist; kept when the window spans no time.
    QString TransferRate;

    int SampleCount() const { return Size; }

private:
    const TByteCount& Oldest() const { return Samples[First]; }
    const TByteCount& Newest() const { return Samples[(First + Size - 1) % int(Samples.size())]; }
    void Append(const TByteCount& sample);

    std::vector<TByteCount> Samples;
    int First = 0;
    int Size = 0;
};
