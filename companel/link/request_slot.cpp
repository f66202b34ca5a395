#include "companel/link/request_slot.h"

namespace companel {

void RequestSlot::Fill(const Frame& frame) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (frame.Overflowed())
        frame_.Clear();
    else
        frame_ = frame;
}

void RequestSlot::Fill(const std::uint8_t* bytes, std::size_t length) {
    Fill(Frame(bytes, length));
}

Frame RequestSlot::Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    Frame out = frame_;
    frame_.Clear();
    return out;
}

bool RequestSlot::IsPending() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !frame_.empty();
}

Frame RequestSlot::Peek() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frame_;
}

void RequestSlot::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    frame_.Clear();
}

} // namespace companel
