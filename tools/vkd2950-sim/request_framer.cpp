#include "tools/vkd2950-sim/request_framer.h"

#include "companel/link/crc.h"

namespace vkdsim {
namespace {

// Length of the request starting at `p` (n bytes available): 0 when more bytes are needed to
// tell, -1 when no request starts here.
long ExpectedLength(const std::uint8_t* p, std::size_t n) {
    if (n < 2)
        return 0;
    switch (p[1]) {
    case 3:
    case 5:
    case 17:
        return 8;
    case 16:
        return n < 7 ? 0 : 9 + static_cast<long>(p[6]);
    default:
        // Other functions get an exception answer; their requests carry 4 bytes of payload
        // like a read.
        return 8;
    }
}

} // namespace

std::vector<std::vector<std::uint8_t>> RequestFramer::Feed(const std::uint8_t* bytes,
                                                           std::size_t n) {
    if (bytes != nullptr)
        buffer_.insert(buffer_.end(), bytes, bytes + n);
    return Scan();
}

std::vector<std::vector<std::uint8_t>> RequestFramer::Idle() {
    std::vector<std::vector<std::uint8_t>> frames;
    while (!buffer_.empty()) {
        buffer_.erase(buffer_.begin());
        ++discarded_;
        for (auto& f : Scan())
            frames.push_back(std::move(f));
    }
    return frames;
}

std::vector<std::vector<std::uint8_t>> RequestFramer::Scan() {
    std::vector<std::vector<std::uint8_t>> frames;
    std::size_t at = 0;
    while (at < buffer_.size()) {
        const std::size_t left = buffer_.size() - at;
        const long need = ExpectedLength(buffer_.data() + at, left);
        if (need == 0 || static_cast<std::size_t>(need) > left)
            break;
        const auto len = static_cast<std::size_t>(need);
        const std::uint16_t crc = companel::Crc16(buffer_.data() + at, len - 2);
        if (buffer_[at + len - 2] == (crc & 0xFF) && buffer_[at + len - 1] == (crc >> 8)) {
            frames.emplace_back(buffer_.begin() + static_cast<long>(at),
                                buffer_.begin() + static_cast<long>(at + len));
            at += len;
        } else {
            ++at;
            ++discarded_;
        }
    }
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(at));
    // A request is at most 255 bytes; a longer backlog is noise.
    if (buffer_.size() > 512) {
        discarded_ += buffer_.size();
        buffer_.clear();
    }
    return frames;
}

} // namespace vkdsim
