#pragma once
// Cuts the byte stream of the line into request frames. A request's length follows from its
// function code (8 bytes, or 9 + byte count for function 16); a candidate whose CRC fails
// loses its first byte and the search goes on, so garbage before a request does not hide it.
// Bytes that form no frame are dropped after a pause of the line (Idle()).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vkdsim {

class RequestFramer {
public:
    // Appends bytes and returns every complete request now found, in order.
    std::vector<std::vector<std::uint8_t>> Feed(const std::uint8_t* bytes, std::size_t n);
    // The line went quiet: a request still incomplete never will be. Drops bytes from the
    // front until what is left holds requests or nothing, and returns those requests.
    std::vector<std::vector<std::uint8_t>> Idle();
    std::size_t Pending() const { return buffer_.size(); }
    // Bytes thrown away as noise so far.
    std::size_t Discarded() const { return discarded_; }

private:
    std::vector<std::vector<std::uint8_t>> Scan();
    std::vector<std::uint8_t> buffer_;
    std::size_t discarded_ = 0;
};

} // namespace vkdsim
