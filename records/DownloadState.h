#pragma once
#include <cstdint>

// The state of one part download. The same values serve as the state code of a whole
// download (starting, downloading, done, failed, paused, scheduled, queued), and the
// list colours are chosen by them, so the numbers must not move.
enum TPartDownloaderState : uint8_t {
    pdsContactingHost = 0,
    pdsGettingFileInfo = 1,
    pdsAuthRequired = 2,
    pdsReserved = 3,
    pdsFileSizeKnown = 4,
    pdsResumeInfoKnown = 5,
    pdsDownloading = 6,
    pdsPartDone = 7,
    pdsDone = 8,
    pdsEndReached = 9,
    pdsError = 10,
    pdsAborted = 11,
    pdsPaused = 12,
    pdsScheduled = 13,
    pdsQueued = 14,
    pdsIdle = 15,
};
