#include "HandOverServerTestBase.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

// Later instances hand over one after another (each waits for its answer, as a
// process does) from several senders at once; every text arrives, each sender's in
// its order.
TEST_F(HandOverServerTest, BurstOfTenThousandArrivesInOrder)
{
    Serve();
    constexpr int Total = 10000;
    for (const int senders : {1, 4}) {
        received.clear();
        std::vector<int> answered(senders, 0);
        QElapsedTimer timer;
        timer.start();
        RunBesideEventLoop([&] {
            std::vector<std::thread> threads;
            for (int s = 0; s < senders; ++s)
                threads.emplace_back([&, s] {
                    for (int i = 0; i < Total / senders; ++i) {
                        const QByteArray text = "http://a.example/" + QByteArray::number(s) + "/" + QByteArray::number(i);
                        answered[s] += SendHandOver(HandOverSocketPath(), text).Reply == 1;
                    }
                });
            for (std::thread& thread : threads)
                thread.join();
        }, 300000);
        const qint64 ms = timer.elapsed();
        std::printf("[ figures  ] %d hand-overs from %d sender(s): %lld ms, %.1f us each\n", Total, senders,
                    static_cast<long long>(ms), 1000.0 * double(ms) / Total);
        RecordProperty("burst_ms_senders_" + std::to_string(senders), int(ms));

        ASSERT_EQ(received.size(), Total);
        std::vector<int> next(senders, 0);
        for (const THandOverMessage& message : received) {
            const QList<QByteArray> parts = message.Text.mid(17).split('/');
            ASSERT_EQ(parts.size(), 2) << message.Text.constData();
            const int s = parts[0].toInt();
            ASSERT_EQ(parts[1].toInt(), next[s]++) << "sender " << s;
        }
        for (int s = 0; s < senders; ++s)
            EXPECT_EQ(answered[s], Total / senders);
    }
    EXPECT_TRUE(ServerSeesNoConnection());
}
