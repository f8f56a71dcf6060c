#include "app/ProgressLine.h"

#include "records/GeneralFunctions.h"

#include <algorithm>

namespace {
constexpr int NameShare = 40; // percent of the line the name may take when space is short

QString Percentage(const TProgressFigures& f)
{
    if (f.Size <= 0)
        return BytesToPresentableString(f.Done);
    // Rounded down: 100.0% only once everything is there.
    const qint64 permille = std::min<qint64>(1000, f.Done * 1000 / f.Size);
    return QStringLiteral("%1.%2%").arg(permille / 10).arg(permille % 10);
}

QString Details(const TProgressFigures& f)
{
    if (!f.Status.isEmpty())
        return f.Status;
    const QString parts = f.ReceivingParts == f.Parts ? QStringLiteral("%1 parts").arg(f.Parts)
                                                      : QStringLiteral("%1/%2 parts").arg(f.ReceivingParts).arg(f.Parts);
    return QStringLiteral("%1  %2  %3 left  %4")
        .arg(Percentage(f).rightJustified(6), f.Speed.rightJustified(12), f.TimeLeft, parts);
}
}

QString ShortenedMiddle(const QString& text, int width)
{
    if (text.size() <= width)
        return text;
    if (width <= 1)
        return text.left(std::max(width, 0));
    const int head = (width - 1) / 2;
    return text.left(head) + QLatin1Char('~') + text.right(width - 1 - head);
}

QString ProgressLine(const TProgressFigures& figures, int width)
{
    const QString details = Details(figures);
    const int nameRoom = std::max(width - int(details.size()) - 2, width * NameShare / 100);
    const QString line = ShortenedMiddle(figures.Name, nameRoom) + QStringLiteral("  ") + details;
    return line.left(std::max(width, 0));
}
