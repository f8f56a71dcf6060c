#include "engine/TransferSpeed.h"

#include "platform/base/Clock.h"
#include "platform/base/DateTime.h"
#include "platform/base/Guard.h"
#include "records/GeneralFunctions.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace {
const QString NotAvailable = QStringLiteral("N/A");

TByteCount SampleNow(qint64 count)
{
    // Whole milliseconds of the clock, so that steps of a test clock add up exactly.
    const qint64 moment = std::llround(Now() * double(MillisecondsPerDay));
    const qint64 day = moment >= 0 ? moment / MillisecondsPerDay : (moment + 1) / MillisecondsPerDay - 1;
    return {count, int(day), int(moment - day * MillisecondsPerDay)};
}

QString RateText(double kilobytesPerSecond)
{
    QLocale locale;
    // Plain digits and the decimal separator: the download list adds these texts up.
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(kilobytesPerSecond, 'f', 1);
}
}

TTransferSpeed::TTransferSpeed(int numberOfValuesToMeasureOn)
    : NumberOfValuesToMeasureOn(numberOfValuesToMeasureOn), TransferRate(NotAvailable),
      Samples(size_t(std::max(numberOfValuesToMeasureOn - 2, 1)))
{
}

void TTransferSpeed::Reset()
{
    First = Size = 0;
    TransferRate = NotAvailable;
}

void TTransferSpeed::Append(const TByteCount& sample)
{
    // A clock set back (daylight saving, a correction) or a count that went back (a
    // part started over) would give negative rates for the whole window: measure
    // afresh from here.
    if (Size > 0 && (sample.Moment() < Newest().Moment() || sample.Count < Newest().Count))
        Size = 0;
    if (Size == int(Samples.size())) {
        First = (First + 1) % int(Samples.size());
        --Size;
    }
    Samples[(First + Size) % int(Samples.size())] = sample;
    ++Size;
}

void TTransferSpeed::Update(qint64 currentTransferCount)
{
    Guarded("procedure TTransferSpeed.Update(CurrentTransferCount: Integer)", [&] {
        Append(SampleNow(currentTransferCount));
        if (Size < 2) {
            TransferRate = NotAvailable;
            return;
        }
        const qint64 elapsed = Newest().Moment() - Oldest().Moment();
        if (elapsed == 0)
            return; // no time to measure over: keep the last rate
        const double bytes = double(Newest().Count - Oldest().Count);
        TransferRate = RateText(bytes / double(elapsed) * 1000.0 / 1024.0);
    });
}

QString TTransferSpeed::TimeLeft(qint64 bytesLeft) const
{
    QString result = NotAvailable;
    Guarded("function TTransferSpeed.TimeLeft(BytesLeft: Integer): string", [&] {
        if (Size < 2 || bytesLeft <= 0)
            return;
        const qint64 elapsed = Newest().Moment() - Oldest().Moment();
        if (elapsed <= 0)
            return;
        const double bytesPerSecond = double(Newest().Count - Oldest().Count) / (double(elapsed) / 1000.0);
        if (bytesPerSecond <= 0)
            return;
        // Halves to even, the rounding of the default floating-point environment.
        result = SecondsToTimeString(qint64(std::nearbyint(double(bytesLeft) / bytesPerSecond)));
    });
    return result;
}
