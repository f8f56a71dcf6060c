// Joins parts the way the combiner's worker does, in a process of its own, so a test
// can kill it at any moment: join_parts_child <tmp name> <target> <file size> <pause µs>.
// Writes one byte to stdout when the join begins; pauses after every step so the
// killing test hits every stage. Exit 0 when joined.
#include "engine/PartJoin.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 5)
        return 2;
    TJoinJob job{argv[1], argv[2], std::atoll(argv[3])};
    job.ChunkBytes = 64 << 10;
    const useconds_t pause = useconds_t(std::atol(argv[4]));
    if (write(1, "s", 1) != 1)
        return 2;
    const TJoinResult result = JoinParts(job, [pause](qint64, qint64) {
        usleep(pause);
        return true;
    });
    if (!result.Ok())
        std::fprintf(stderr, "failed: %s (%d)\n", result.FileName.c_str(), result.Error);
    return result.Ok() ? 0 : 1;
}
