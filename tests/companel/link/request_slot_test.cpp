#include "companel/link/crc.h"
#include "companel/link/request_slot.h"
#include "companel/link/requests.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace companel {
namespace {

TEST(RequestSlot, FillReplacesAndTakeEmpties) {
    RequestSlot slot;
    EXPECT_FALSE(slot.IsPending());
    EXPECT_TRUE(slot.Take().empty());
    slot.Fill(BuildOperation(1, Operation::HighSideClose));
    slot.Fill(BuildOperation(1, Operation::SignalReset)); // an unsent request is replaced
    EXPECT_TRUE(slot.IsPending());
    EXPECT_EQ(slot.Peek()[3], 11);
    const Frame f = slot.Take();
    EXPECT_EQ(f.size(), 8u);
    EXPECT_EQ(f[3], 11);
    EXPECT_FALSE(slot.IsPending());
}

TEST(RequestSlot, OverlongFrameIsNotQueued) {
    RequestSlot slot;
    std::uint8_t big[300] = {};
    slot.Fill(big, sizeof big);
    EXPECT_FALSE(slot.IsPending());
    slot.Fill(big, 255);
    EXPECT_EQ(slot.Take().size(), 255u);
}

// A producer keeps replacing requests of different lengths while a consumer takes them: every
// frame taken must be one of the frames put in, never a mix of two.
TEST(RequestSlot, FramesAreNeverTorn) {
    RequestSlot slot;
    std::atomic<bool> done{false};
    std::thread producer([&] {
        for (int i = 0; i < 20000; ++i) {
            std::uint16_t values[100];
            const std::size_t n = 1 + i % 100;
            for (std::size_t k = 0; k < n; ++k)
                values[k] = static_cast<std::uint16_t>(i);
            slot.Fill(BuildWriteRegisters(1, static_cast<std::uint16_t>(i), values, n).Request);
        }
        done = true;
    });
    int taken = 0;
    bool torn = false;
    while (!done || slot.IsPending()) {
        const Frame f = slot.Take();
        if (f.empty())
            continue;
        ++taken;
        const std::size_t n = f[5];
        const std::uint16_t id = static_cast<std::uint16_t>(f[2] << 8 | f[3]);
        torn |= f.size() != 9 + 2 * n || !CheckCrc(f.data(), f.size(), f.size() - 2) ||
                n != 1u + id % 100 || (f[7] << 8 | f[8]) != id;
    }
    producer.join();
    EXPECT_FALSE(torn);
    EXPECT_GT(taken, 0);
}

} // namespace
} // namespace companel
