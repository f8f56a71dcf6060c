#include "app/GetOutput.h"

#include "app/CliText.h"
#include "platform/base/Guard.h"

#include <QTimer>
#include <algorithm>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {
constexpr int RedrawMs = 250;

class TLineOutput : public TGetOutput {
public:
    explicit TLineOutput(bool quiet) : quiet(quiet) {}

    void Event(const QString& line, bool) override
    {
        if (!quiet)
            PrintLine(line);
    }
    void Error(const QString& line) override { PrintError(line); }
    void Summary(const QString& line) override { PrintLine(line); }

private:
    bool quiet;
};

struct TTerminalSize {
    int Columns = 80, Rows = 24;
};

TTerminalSize SizeOf(int fd)
{
    winsize size {};
    if (ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0)
        return {};
    return {size.ws_col, std::max<int>(size.ws_row, 2)};
}

void WriteAll(int fd, const QByteArray& bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t written = write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (written <= 0)
            return;
        done += written;
    }
}

// The progress block at the bottom of the terminal. The cursor stays at the end of its
// last line; a frame is one write, so the block never flickers.
class TTerminalOutput : public TGetOutput {
public:
    TTerminalOutput()
    {
        timer.setInterval(RedrawMs);
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] { Redraw(); });
        timer.start();
    }
    ~TTerminalOutput() override
    {
        Guarded("destructor TTerminalOutput.Destroy", [&] { Clear(); });
    }

    void Event(const QString& line, bool lasting) override
    {
        if (!lasting)
            return;
        pending.push_back(line);
        Redraw();
    }
    void Error(const QString& line) override
    {
        Clear();
        PrintError(line);
        Redraw();
    }
    void Summary(const QString& line) override
    {
        Clear();
        PrintLine(line);
    }
    void Suspend() override
    {
        Clear();
        suspended = true;
    }
    void Resume() override
    {
        suspended = false;
        Redraw();
    }

private:
    void Redraw()
    {
        Guarded("procedure TTerminalOutput.Redraw", [&] {
            if (suspended)
                return;
            const std::vector<QString> progress = ProgressLines();
            if (pending.empty() && progress == shown)
                return;
            Draw(progress);
        });
    }
    // Whatever is drawn leaves the screen; lasting lines still waiting are drawn first.
    void Clear()
    {
        if (!suspended)
            Draw({});
    }
    void Draw(const std::vector<QString>& progress)
    {
        std::fflush(stdout);
        WriteAll(STDOUT_FILENO, TerminalFrame(int(shown.size()), pending, progress));
        pending.clear();
        shown = progress;
    }
    std::vector<QString> ProgressLines() const
    {
        std::vector<QString> lines;
        if (!RunningFigures)
            return lines;
        const TTerminalSize size = SizeOf(STDOUT_FILENO);
        // A line as wide as the terminal would wrap on some; a block as high as the
        // terminal could not be reached again by moving up.
        const int width = size.Columns - 1;
        const size_t room = size_t(std::max(size.Rows - 2, 1));
        const std::vector<TProgressFigures> figures = RunningFigures();
        for (const TProgressFigures& f : figures) {
            if (lines.size() + 1 == room && figures.size() > room) {
                lines.push_back(QStringLiteral("... and %1 more").arg(figures.size() - lines.size()).left(width));
                break;
            }
            lines.push_back(ProgressLine(f, width));
        }
        return lines;
    }

    QTimer timer;
    std::vector<QString> pending;
    std::vector<QString> shown;
    bool suspended = false;
};
}

std::unique_ptr<TGetOutput> TGetOutput::Create(bool quiet)
{
    if (!quiet && isatty(STDOUT_FILENO))
        return std::make_unique<TTerminalOutput>();
    return std::make_unique<TLineOutput>(quiet);
}

QByteArray TerminalFrame(int drawnLines, const std::vector<QString>& lasting, const std::vector<QString>& progress)
{
    QByteArray frame = "\r";
    if (drawnLines > 1)
        frame += "\x1b[" + QByteArray::number(drawnLines - 1) + "A";
    for (const QString& line : lasting)
        frame += PrintableText(line).toLocal8Bit() + "\x1b[K\n";
    for (size_t i = 0; i < progress.size(); ++i) {
        if (i > 0)
            frame += "\n";
        frame += PrintableText(progress[i]).toLocal8Bit() + "\x1b[K";
    }
    return frame + "\x1b[J";
}
