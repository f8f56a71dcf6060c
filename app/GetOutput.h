#pragma once
#include "app/ProgressLine.h"

#include <QString>
#include <functional>
#include <memory>
#include <vector>

// Where `corvane get` reports. On a terminal it keeps one progress line per running
// download at the bottom, redrawn in place a few times a second, with lasting lines
// (a download done, failed, queued) printed above it; elsewhere (a pipe, a file) it
// prints one line per state change. Everything passes through PrintableText.
class TGetOutput {
public:
    // A terminal display when stdout is a terminal and quiet is off; lines otherwise.
    // quiet keeps only errors and the summary.
    static std::unique_ptr<TGetOutput> Create(bool quiet);
    virtual ~TGetOutput() = default;

    // A download changed its state. lasting: also worth a line of its own on a
    // terminal (where the progress line shows the passing states).
    virtual void Event(const QString& line, bool lasting) = 0;
    // On stderr, also when quiet.
    virtual void Error(const QString& line) = 0;
    // On stdout, also when quiet.
    virtual void Summary(const QString& line) = 0;
    // What the progress lines show, asked for at each redraw; lines only are never asked.
    std::function<std::vector<TProgressFigures>()> RunningFigures;
    // A prompt takes the terminal: no progress lines until Resume.
    virtual void Suspend() {}
    virtual void Resume() {}
};

// The bytes that redraw a block of progress lines on a terminal: back to the start of
// the block drawnLines lines high that the cursor ends, then the lasting lines (each
// kept above), then the progress lines, each line cleared to its end and everything
// below the last one cleared. Uses only CR, LF, ESC[nA, ESC[K and ESC[J; the texts are
// made printable.
QByteArray TerminalFrame(int drawnLines, const std::vector<QString>& lasting, const std::vector<QString>& progress);
