// corvane_join [--folder DIR] [--target FILE] [--size BYTES] [--parts N]
// Times the part combiner's join of a download cut into N parts: makes the parts in
// DIR (default /tmp), flushes them to disk, joins them onto FILE (default beside
// them), checks the result byte for byte against what was written, prints the join's
// wall time and removes everything it made.
#include "engine/PartJoin.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {
constexpr size_t Block = 1 << 20;

// The bytes at offset, the same for writing and checking.
void Fill(std::vector<char>& block, long long offset)
{
    std::mt19937_64 random(uint64_t(offset) * 0x9E3779B97F4A7C15ull);
    for (size_t i = 0; i + 8 <= block.size(); i += 8) {
        const uint64_t value = random();
        std::memcpy(block.data() + i, &value, 8);
    }
}

bool WritePart(const std::string& name, long long start, long long size)
{
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    std::vector<char> block(Block);
    for (long long done = 0; fd >= 0 && done < size;) {
        Fill(block, start + done);
        const size_t count = size_t(std::min<long long>(Block, size - done));
        if (write(fd, block.data(), count) != ssize_t(count))
            return close(fd), false;
        done += count;
    }
    return fd >= 0 && close(fd) == 0;
}

bool Matches(const std::string& name, long long size)
{
    const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    std::vector<char> expected(Block), actual(Block);
    long long done = 0;
    while (fd >= 0 && done < size) {
        Fill(expected, done);
        const size_t count = size_t(std::min<long long>(Block, size - done));
        if (read(fd, actual.data(), count) != ssize_t(count) || std::memcmp(actual.data(), expected.data(), count))
            break;
        done += count;
    }
    char extra;
    const bool ok = done == size && read(fd, &extra, 1) == 0;
    if (fd >= 0)
        close(fd);
    return ok;
}

const char* Option(int argc, char** argv, const char* name, const char* fallback)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return argv[i + 1];
    return fallback;
}
}

int main(int argc, char** argv)
{
    const std::string folder = Option(argc, argv, "--folder", "/tmp");
    const long long size = std::atoll(Option(argc, argv, "--size", "1073741824"));
    const int parts = std::atoi(Option(argc, argv, "--parts", "4"));
    const std::string tmp = folder + "/corvane-join-bench." + std::to_string(getpid());
    const std::string target = Option(argc, argv, "--target", (tmp + ".result").c_str());
    if (size <= 0 || parts <= 0 || parts > size)
        return 2;

    for (int i = 0; i < parts; ++i) {
        const long long start = size / parts * i, end = i + 1 == parts ? size : size / parts * (i + 1);
        if (!WritePart(PartFileName(tmp, start), start, end - start)) {
            std::fprintf(stderr, "cannot write the parts in %s\n", folder.c_str());
            return 1;
        }
    }
    sync(); // the parts on disk first, as after a download: the join's own syncs are what counts

    const auto begin = std::chrono::steady_clock::now();
    const TJoinResult result = JoinParts({tmp, target, size});
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();

    const bool ok = result.Ok() && Matches(target, size);
    if (result.Ok())
        std::printf("joined %lld bytes in %d parts onto %s in %.3f s (%.2f GiB/s)%s\n", size, parts, target.c_str(),
                    seconds, double(size) / seconds / (1 << 30), ok ? "" : ", BUT THE RESULT DIFFERS");
    else
        std::fprintf(stderr, "join failed: %s (%s)\n", result.FileName.c_str(), std::strerror(result.Error));
    for (int i = 0; i < parts; ++i)
        unlink(PartFileName(tmp, size / parts * i).c_str());
    unlink(target.c_str());
    return ok ? 0 : 1;
}
