#include "app/ProgressLine.h"

#include "records/GeneralFunctions.h"

#include <QStringList>
#include <algorithm>

namespace {
// The name keeps at least this much (or all of a shorter one) before figures go.
constexpr int NameRoom = 16;

QString Percentage(const TProgressFigures& f)
{
    if (f.Size <= 0)
        return BytesToPresentableString(f.Done);
    // Rounded down: 100.0% only once everything is there.
    const qint64 permille = std::min<qint64>(1000, f.Done * 1000 / f.Size);
    return QStringLiteral("%1.%2%").arg(permille / 10).arg(permille % 10);
}

// The figures in the order they give way when the line is short: parts first.
QStringList Fields(const TProgressFigures& f)
{
    if (!f.Status.isEmpty())
        return {f.Status};
    const QString parts = f.ReceivingParts == f.Parts ? QStringLiteral("%1 parts").arg(f.Parts)
                                                      : QStringLiteral("%1/%2 parts").arg(f.ReceivingParts).arg(f.Parts);
    return {Percentage(f).rightJustified(6), f.Speed.rightJustified(12), f.TimeLeft + QStringLiteral(" left"), parts};
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
    const QString separator = QStringLiteral("  ");
    const int nameRoom = std::min<int>(int(figures.Name.size()), NameRoom);
    QStringList fields = Fields(figures);
    while (fields.size() > 1 && width - int(fields.join(separator).size() + separator.size()) < nameRoom)
        fields.removeLast();
    const QString details = fields.join(separator);
    const int room = std::max(width - int(details.size() + separator.size()), std::min(nameRoom, width / 2));
    return (ShortenedMiddle(figures.Name, room) + separator + details).left(std::max(width, 0));
}
