#pragma once
// One-frame mailbox from the windows to the management thread. A frame is put in and taken
// out whole under a lock, so the thread never sends a half-written request.

#include "companel/link/frame.h"

#include <mutex>

namespace companel {

class RequestSlot {
public:
    // Replaces any request not sent yet. An empty or overflowed frame leaves the slot empty.
    void Fill(const Frame& frame);
    void Fill(const std::uint8_t* bytes, std::size_t length);
    // Copies the request out and empties the slot; an empty frame when there was none.
    Frame Take();
    bool IsPending() const;
    // A copy of the waiting request without taking it.
    Frame Peek() const;
    void Clear();

private:
    mutable std::mutex mutex_;
    Frame frame_;
};

} // namespace companel
