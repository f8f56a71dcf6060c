#include "engine/PartJoin.h"

#include "engine/FileSteps.h"
#include "platform/base/Paths.h"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

std::string PartFileName(const std::string& tmpFileName, qint64 startByte)
{
    return tmpFileName + "." + std::to_string(startByte);
}

std::string JournalFileName(const std::string& tmpFileName)
{
    return tmpFileName + ".join";
}

std::string TargetTempFileName(const std::string& lclFileName)
{
    // Cut so that the dot and the suffix still fit into a name of 255 bytes.
    const std::string name = lclFileName.substr(lclFileName.find_last_of('/') + 1).substr(0, 200);
    return JoinPath(FolderOf(lclFileName), "." + name + ".corvane");
}

namespace {
// The copy buffer of reads and writes where extents cannot be shared.
constexpr size_t BufferBytes = 65536;

struct TPart {
    qint64 Start = 0;
    qint64 Size = 0;
};

// "start size\n", as WriteJournal leaves it; anything else is no journal of ours.
bool ParseJournal(const char* text, size_t length, TPart& part)
{
    const char* end = text + length;
    auto [afterStart, startError] = std::from_chars(text, end, part.Start);
    if (startError != std::errc() || afterStart == end || *afterStart != ' ')
        return false;
    auto [afterSize, sizeError] = std::from_chars(afterStart + 1, end, part.Size);
    return sizeError == std::errc() && afterSize + 1 == end && *afterSize == '\n' && part.Start > 0 && part.Size > 0;
}

class TPartJoiner {
public:
    TPartJoiner(const TJoinJob& job, const TJoinProgress& progress, const TJoinHandOver& handOver)
        : Job(job), Progress(progress), HandOver(handOver), Zero(PartFileName(job.TmpFileName, 0)),
          Journal(JournalFileName(job.TmpFileName)), PartsFolder(FolderOf(Zero)), Buffer(BufferBytes)
    {
    }

    TJoinResult Run()
    {
        Join();
        return Result;
    }

    TJoinResult RunAppend(qint64 end)
    {
        AppendOnly(end);
        return Result;
    }

    TJoinResult RunGrowing(const TGrowingPart& growing)
    {
        AppendGrowing(growing);
        return Result;
    }

private:
    bool Join()
    {
        if (Job.LclFileName.empty())
            return Fail(TJoinFailure::CouldntOpen, Job.LclFileName);
        qint64 start = 0;
        if (!Begin(start))
            return false;
        const qint64 total = Job.RemoteFSize > 0 ? Job.RemoteFSize : start;
        if (!PrepareTarget())
            return false;
        Done = start;
        WorkTotal = CrossFileSystem ? 2 * total : total;
        TFileHandle zero;
        return AppendChain(start, total, zero) && Place(zero);
    }

    bool AppendOnly(qint64 end)
    {
        qint64 start = 0;
        if (!Begin(start))
            return false;
        Done = start;
        WorkTotal = end;
        TFileHandle zero;
        return AppendChain(start, end, zero);
    }

    // Takes ".0" for this joiner, undoes a half-done append and tells ".0"'s size.
    bool Begin(qint64& start)
    {
        if (!LockZero() || !Recover())
            return false;
        start = RegularFileSize(Zero);
        return start >= 0 || Fail(TJoinFailure::CouldntOpen, Zero, errno);
    }

    // Every part from start up to end, checked before any is appended onto ".0" (left
    // open in zero).
    bool AppendChain(qint64 start, qint64 end, TFileHandle& zero)
    {
        std::vector<TPart> chain;
        if (!Report(0) || !FindChain(start, end, chain))
            return false;
        zero = TFileHandle::Open(Zero, O_WRONLY);
        if (!zero.IsOpen())
            return Fail(TJoinFailure::CouldntOpen, Zero, errno);
        return AppendAll(zero.Get(), chain);
    }

    bool AppendAll(int zero, const std::vector<TPart>& chain)
    {
        for (const TPart& part : chain)
            if (!Append(zero, part))
                return false;
        return true;
    }

    // Held until the joiner goes, so a join and an append of the same parts take turns.
    bool LockZero()
    {
        ZeroLock = TFileHandle::Open(Zero, O_RDONLY);
        if (!ZeroLock.IsOpen())
            return Fail(TJoinFailure::CouldntOpen, Zero, errno);
        while (::flock(ZeroLock.Get(), LOCK_EX) != 0)
            if (errno != EINTR)
                return Fail(TJoinFailure::CouldntOpen, Zero, errno);
        return true;
    }

    bool Fail(TJoinFailure failure, const std::string& fileName, int error = 0)
    {
        Result = {failure, fileName, error};
        return false;
    }

    bool Report(qint64 bytes)
    {
        Done += bytes;
        if (!Progress || Progress(Done, WorkTotal))
            return true;
        return Fail(TJoinFailure::Stopped, {});
    }

    // Undoes what a join killed in the middle of an append left behind.
    bool Recover()
    {
        RemoveFile(Journal + ".tmp");
        TPart part;
        if (!ReadJournal(part))
            return true;
        const qint64 zeroSize = RegularFileSize(Zero);
        const bool partStillThere = RegularFileSize(PartFileName(Job.TmpFileName, part.Start)) >= 0;
        if (partStillThere && zeroSize > part.Start && zeroSize <= part.Start + part.Size) {
            TFileHandle zero = TFileHandle::Open(Zero, O_WRONLY);
            if (!zero.IsOpen())
                return Fail(TJoinFailure::CouldntOpen, Zero, errno);
            if (::ftruncate(zero.Get(), part.Start) != 0 || ::fdatasync(zero.Get()) != 0)
                return Fail(TJoinFailure::CouldntWrite, Zero, errno);
        }
        RemoveFile(Journal);
        return true;
    }

    // False for no journal, and for one we cannot have written (which is removed).
    bool ReadJournal(TPart& part)
    {
        TFileHandle journal = TFileHandle::Open(Journal, O_RDONLY | O_NOFOLLOW);
        if (!journal.IsOpen())
            return false;
        char text[64];
        const ssize_t length = ::pread(journal.Get(), text, sizeof text, 0);
        if (length > 0 && ParseJournal(text, size_t(length), part))
            return true;
        RemoveFile(Journal);
        return false;
    }

    bool WriteJournal(const TPart& part)
    {
        const std::string aside = Journal + ".tmp";
        const std::string text = std::to_string(part.Start) + " " + std::to_string(part.Size) + "\n";
        int error = 0;
        TFileHandle journal = TFileHandle::Open(aside, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0600);
        if (!journal.IsOpen())
            error = errno;
        if (!error)
            error = WriteAll(journal.Get(), text.data(), text.size(), 0);
        if (!error && ::fdatasync(journal.Get()) != 0)
            error = errno;
        if (!error)
            error = journal.Close();
        if (!error && ::rename(aside.c_str(), Journal.c_str()) != 0)
            error = errno;
        if (!error)
            error = SyncFolder(PartsFolder);
        if (!error)
            return true;
        RemoveFile(aside);
        return Fail(TJoinFailure::CouldntWrite, Journal, error);
    }

    bool PrepareTarget()
    {
        const std::string folder = FolderOf(Job.LclFileName);
        if (!MakeFolders(folder))
            return Fail(TJoinFailure::CouldntOpen, Job.LclFileName, ENOTDIR);
        struct stat target {};
        if (::stat(Job.LclFileName.c_str(), &target) == 0 && S_ISDIR(target.st_mode))
            return Fail(TJoinFailure::CouldntOpen, Job.LclFileName, EISDIR);
        if (::access(folder.c_str(), W_OK) != 0)
            return Fail(TJoinFailure::CouldntOpen, Job.LclFileName, errno);
        struct stat parts {}, targets {};
        CrossFileSystem = ::stat(PartsFolder.c_str(), &parts) == 0 && ::stat(folder.c_str(), &targets) == 0 &&
                          parts.st_dev != targets.st_dev;
        return true;
    }

    // Every part from ".0"'s end up to the file size, before anything is appended.
    bool FindChain(qint64 start, qint64 total, std::vector<TPart>& chain)
    {
        for (qint64 next = start; next < total;) {
            const std::string name = PartFileName(Job.TmpFileName, next);
            const qint64 size = next == 0 ? 0 : RegularFileSize(name);
            if (size <= 0)
                return Fail(TJoinFailure::CouldntOpen, name, size < 0 ? errno : ENODATA);
            chain.push_back({next, size});
            next += size;
        }
        return true;
    }

    bool Append(int zero, const TPart& part)
    {
        const std::string name = PartFileName(Job.TmpFileName, part.Start);
        TFileHandle source = TFileHandle::Open(name, O_RDONLY);
        if (!source.IsOpen())
            return Fail(TJoinFailure::CouldntOpen, name, errno);
        return WriteJournal(part) && CopyPart(source.Get(), zero, part.Start, 0, part.Size, name)
            && FinishPart(zero, part.Start, name);
    }

    // Once ".0" holds some of the part, every failure cuts it back to the part's start.
    bool AppendGrowing(const TGrowingPart& growing)
    {
        if (!LockZero())
            return false;
        const qint64 start = growing.Start;
        const qint64 zeroSize = RegularFileSize(Zero);
        if (zeroSize < start)
            return Fail(TJoinFailure::CouldntOpen, Zero, zeroSize < 0 ? errno : EINVAL);
        TFileHandle zero = TFileHandle::Open(Zero, O_WRONLY);
        if (!zero.IsOpen())
            return Fail(TJoinFailure::CouldntOpen, Zero, errno);
        const std::string name = PartFileName(Job.TmpFileName, start);
        const TPart part{start, qMax(growing.Length, growing.Final)};
        TPart named;
        const bool continuing = zeroSize > start && ReadJournal(named) && named.Start == start;
        // Without our journal an overlong ".0" is no append of ours: never cut.
        if (zeroSize > start && !continuing)
            return Fail(TJoinFailure::CouldntOpen, Zero, EINVAL);
        if (zeroSize > start + growing.Final)
            return CutBackAfter(zero.Get(), start, TJoinFailure::CouldntOpen, Zero);
        TFileHandle source = TFileHandle::Open(name, O_RDONLY);
        if (!source.IsOpen())
            return CutBackAfter(zero.Get(), start, TJoinFailure::CouldntOpen, name);
        // The journal names the part before any of it is on ".0", with room for all of it.
        if ((!continuing || named.Size < part.Size) && !WriteJournal(part)) {
            CutBack(zero.Get(), start);
            return false;
        }
        Done = zeroSize;
        WorkTotal = start + growing.Final;
        if (!CopyPart(source.Get(), zero.Get(), start, zeroSize - start, growing.Final, name))
            return false;
        if (!growing.Whole)
            return true;
        if (RegularFileSize(name) != growing.Final) {
            CutBack(zero.Get(), start);
            return Fail(TJoinFailure::CouldntOpen, name, EINVAL);
        }
        return FinishPart(zero.Get(), start, name);
    }

    // Bytes from..to of the part at start onto ".0"; a failure cuts ".0" back to start.
    bool CopyPart(int source, int zero, qint64 start, qint64 from, qint64 to, const std::string& name)
    {
        const TCopyError copy = CopyRange(source, from, zero, start + from, to - from, Job.ChunkBytes, Buffer,
                                          [this](qint64 bytes) { return Report(bytes); });
        if (!copy.Error)
            return true;
        CutBack(zero, start);
        if (copy.Error == ECANCELED)
            return false; // Report has said why
        return copy.Reading ? Fail(TJoinFailure::CouldntOpen, name, copy.Error)
                            : Fail(TJoinFailure::CouldntWrite, Zero, copy.Error);
    }

    // The part is on ".0" whole: made durable, then the part and the journal go.
    bool FinishPart(int zero, qint64 start, const std::string& name)
    {
        if (::fdatasync(zero) != 0)
            return CutBackAfter(zero, start, TJoinFailure::CouldntWrite, Zero);
        if (::unlink(name.c_str()) != 0)
            return CutBackAfter(zero, start, TJoinFailure::CouldntWrite, name);
        SyncFolder(PartsFolder);
        RemoveFile(Journal);
        return true;
    }

    // With ".0" back at its size before the part, the journal has nothing left to say;
    // when the cut fails it stays, and the next join cuts.
    void CutBack(int zero, qint64 size)
    {
        if (::ftruncate(zero, size) == 0 && ::fdatasync(zero) == 0)
            RemoveFile(Journal);
    }

    bool CutBackAfter(int zero, qint64 size, TJoinFailure failure, const std::string& fileName)
    {
        const int error = errno;
        CutBack(zero, size);
        return Fail(failure, fileName, error);
    }

    bool Place(TFileHandle& zero)
    {
        const mode_t mode = NewFileMode();
        ::fchmod(zero.Get(), mode); // a file system without modes keeps its own
        if (::fdatasync(zero.Get()) != 0)
            return Fail(TJoinFailure::CouldntWrite, Zero, errno);
        zero.Close();
        if (!Report(0))
            return false;
        const std::string aside = TargetTempFileName(Job.LclFileName);
        RemoveFile(aside);
        const int linked = ::link(Zero.c_str(), aside.c_str()) == 0 ? 0 : errno;
        if (linked != 0 && linked != EXDEV) {
            // No hard links here: ".0" itself goes.
            if (!RenameOntoTarget(Zero))
                return false;
            if (HandOver)
                HandOver();
            return true;
        }
        if (linked == EXDEV && !CopyBeside(aside, mode))
            return false;
        if (!RenameOntoTarget(aside)) {
            RemoveFile(aside);
            return false;
        }
        if (!HandOver || HandOver())
            RemoveFile(Zero);
        return true;
    }

    bool RenameOntoTarget(const std::string& from)
    {
        if (::rename(from.c_str(), Job.LclFileName.c_str()) != 0)
            return Fail(TJoinFailure::CouldntOpen, Job.LclFileName, errno);
        SyncFolder(FolderOf(Job.LclFileName));
        return true;
    }

    bool CopyBeside(const std::string& aside, mode_t mode)
    {
        TFileHandle source = TFileHandle::Open(Zero, O_RDONLY);
        const qint64 size = RegularFileSize(Zero);
        if (!source.IsOpen() || size < 0)
            return Fail(TJoinFailure::CouldntOpen, Zero, errno);
        TFileHandle copy = TFileHandle::Open(aside, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, mode);
        if (!copy.IsOpen())
            return Fail(TJoinFailure::CouldntOpen, Job.LclFileName, errno);
        ::fchmod(copy.Get(), mode);
        TCopyError error = CopyRange(source.Get(), 0, copy.Get(), 0, size, Job.ChunkBytes, Buffer,
                                     [this](qint64 bytes) { return Report(bytes); });
        if (!error.Error && ::fdatasync(copy.Get()) != 0)
            error.Error = errno;
        if (!error.Error)
            error.Error = copy.Close();
        if (!error.Error)
            return true;
        RemoveFile(aside);
        if (error.Error == ECANCELED)
            return false;
        return error.Reading ? Fail(TJoinFailure::CouldntOpen, Zero, error.Error)
                             : Fail(TJoinFailure::CouldntWrite, Job.LclFileName, error.Error);
    }

    const TJoinJob& Job;
    const TJoinProgress& Progress;
    const TJoinHandOver& HandOver;
    const std::string Zero, Journal, PartsFolder;
    TFileHandle ZeroLock;
    std::vector<char> Buffer;
    TJoinResult Result;
    qint64 Done = 0;
    qint64 WorkTotal = 0;
    bool CrossFileSystem = false;
};
}

TJoinResult JoinParts(const TJoinJob& job, const TJoinProgress& progress, const TJoinHandOver& handOver)
{
    return TPartJoiner(job, progress, handOver).Run();
}

TJoinResult AppendParts(const TJoinJob& job, qint64 end, const TJoinProgress& progress)
{
    const TJoinHandOver none;
    return TPartJoiner(job, progress, none).RunAppend(end);
}

TJoinResult AppendGrowingPart(const TJoinJob& job, const TGrowingPart& part, const TJoinProgress& progress)
{
    const TJoinHandOver none;
    return TPartJoiner(job, progress, none).RunGrowing(part);
}
