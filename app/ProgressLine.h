#pragma once
#include <QString>
#include <QtGlobal>

// What one progress line shows of a running download.
struct TProgressFigures {
    QString Name {};
    // Shown instead of the figures while the download is not receiving (connecting,
    // waiting for a retry, joining); empty while it receives.
    QString Status {};
    qint64 Done = 0;
    qint64 Size = 0; // 0 or less: not known
    QString Speed {};    // "1.20 MB/s", "N/A"
    QString TimeLeft {}; // "hh:mm:ss", "N/A"
    int Parts = 0;
    int ReceivingParts = 0;
};

// One line of at most width characters: the name (shortened from the middle when
// space is short), then the percentage (the bytes without a size), speed, time left
// and parts, or the status.
QString ProgressLine(const TProgressFigures& figures, int width);
// text shortened to width characters, its middle replaced by "~".
QString ShortenedMiddle(const QString& text, int width);
