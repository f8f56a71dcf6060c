#pragma once
#include "tests/engine/FtpTestHelpers.h"
#include "tests/engine/downloader/DownloadHarness.h"

#include <QByteArray>
#include <QString>
#include <gtest/gtest.h>
#include <ostream>

// How a whole download under a fault ended.
enum class TOutcome {
    Identical, // the joined file is the served file, byte for byte
    Failed,    // a failure status, nothing claimed done, no target file
    Wrong,     // anything else: a wrong byte kept, a failure called done, ...
    Hung,      // neither complete nor failed in time
};
void PrintTo(TOutcome outcome, std::ostream* out);

// Whole downloads of a 40,000-byte file that splits into four ranges of 10,000 bytes,
// with the checks every fault case makes on what they leave behind.
class FaultTest : public DownloaderTest {
protected:
    void SetUp() override;

    // Runs the download of url to its end, restarting it after a failure up to
    // `restarts` times as the download system's retries would, and joins the parts once
    // they are complete. Wrong as soon as a part file holds a byte that is not the
    // file's own at its place.
    TOutcome Download(const QString& url, int restarts = 0);
    // A new record for url whose target is not there yet, and its downloader started.
    void Begin(const QString& url);
    // Waits for the end of the running download, then as Download.
    TOutcome Finish(int restarts = 0);
    // Joins the complete parts: Identical, or Failed with joinMessage.
    TOutcome Join();
    // Every part file holds content's bytes at its place and nothing else.
    testing::AssertionResult PartsHoldOnlyTrueBytes() const;

    QByteArray content = Pattern(40'000);
    QString joinMessage; // the part combiner's failure message
};

// A fault test whose file the scriptable server gives out by ranges, as asked.
class ServedFaultTest : public FaultTest {
protected:
    void SetUp() override;

    HttpTestServer server;
};

// An answer whose status line and header lines (each ending "\r\n") and body are
// exactly as given: no Content-Length is added.
HttpTestAnswer RawAnswer(const QByteArray& head, const QByteArray& body = {});
// A 206 for file[from..] whose Content-Range says from-last/total.
HttpTestAnswer RangeAnswer(const QByteArray& file, qint64 from, qint64 last, qint64 total);
