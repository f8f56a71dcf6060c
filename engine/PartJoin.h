#pragma once
#include <QtGlobal>

#include <functional>
#include <string>

// Joins a download's part files into its target, the file work of the part combiner,
// with nothing of Qt's event loop so it can run on a worker thread or in a process of
// its own.
//
// The parts are appended onto ".0" in place, in the order of their start bytes, and
// ".0" finally becomes the target. What a join relies on to survive being killed at
// any moment, and to continue where it stopped when run again:
// - Before a part is appended, a journal (TmpFileName + ".join", written aside and
//   renamed into place) names it by its start byte, which is also ".0"'s size before
//   the append, and holds the part's size. The journal goes only once the part has
//   been appended, ".0" synced and the part deleted.
// - A journal whose part is still there means the append may be partial: ".0" is cut
//   back to the journal's size and the part is appended again. A journal whose part
//   is gone means the append was complete. Without a journal ".0" is not cut, so an
//   overlong ".0" or part is never shortened; the chain then simply does not fit.
// - The whole chain of parts from ".0"'s size up to the file size is checked before
//   anything is appended: a missing or empty part fails without changing a file.
// - A failed append cuts ".0" back to its size before that part (a full disk leaves a
//   clean retry); the parts stay.
// - A join and an append of the same parts never run at once: each holds a lock on
//   ".0" (flock) for its whole run, and the later one waits.
// - The target is replaced only by a rename at the end: ".0" is linked (on another
//   file system: copied and synced) to a temporary name beside the target and renamed
//   onto it. ".0" is deleted only after that, and only once the hand-over has said so,
//   so a join killed before its owner has recorded the success finds ".0" complete
//   and simply places it again.

struct TJoinJob {
    std::string TmpFileName;    // part files are TmpFileName + "." + start byte
    std::string LclFileName;    // the target
    qint64 RemoteFSize = -1;    // -1 (or 0, not known yet): the size of ".0"
    qint64 ChunkBytes = 16 << 20; // the most copied between two progress reports
};

enum class TJoinFailure {
    None,
    CouldntOpen,  // FileName could not be opened or made: a missing part, an unusable target
    CouldntWrite, // writing FileName failed with Error (a full disk: ENOSPC)
    Stopped,      // progress asked to stop; the files are left ready for another join
};

struct TJoinResult {
    TJoinFailure Failure = TJoinFailure::None;
    std::string FileName;
    int Error = 0;
    bool Ok() const { return Failure == TJoinFailure::None; }
};

// Told the bytes done and to do after each step; the bytes already in ".0" count as
// done from the start. Returning false stops the join at the next safe point.
using TJoinProgress = std::function<bool(qint64 done, qint64 total)>;

// Runs once the target is in place, before ".0" goes; false keeps ".0".
using TJoinHandOver = std::function<bool()>;

TJoinResult JoinParts(const TJoinJob& job, const TJoinProgress& progress = {}, const TJoinHandOver& handOver = {});

// Appends the parts that chain on from ".0"'s end up to end (one past the last byte)
// onto ".0", as JoinParts does, and leaves ".0" there: for a download whose first parts
// are complete while later ones still arrive. Only parts that nothing writes any more.
// LclFileName is not used. Progress counts from ".0"'s size up to end.
TJoinResult AppendParts(const TJoinJob& job, qint64 end, const TJoinProgress& progress = {});

// A part right after ".0" that is still being written: its first Final bytes are
// written for good and may go onto ".0" already, which must end at Start or where an
// earlier call left it inside this part (an overlong ".0" without that call's journal is
// not touched). From the first call on the journal names the part with Length (the most
// it can grow to), so a crash, a stop or any failure cuts ".0" back to Start and the
// part stays whole. Whole: the part is complete (Final is
// its size, nothing writes it) and goes as AppendParts lets a part go.
struct TGrowingPart {
    qint64 Start = 0;
    qint64 Final = 0;
    qint64 Length = 0;
    bool Whole = false;
};
TJoinResult AppendGrowingPart(const TJoinJob& job, const TGrowingPart& part, const TJoinProgress& progress = {});

std::string PartFileName(const std::string& tmpFileName, qint64 startByte);
std::string JournalFileName(const std::string& tmpFileName);
// Where the target is put together before its final rename.
std::string TargetTempFileName(const std::string& lclFileName);
