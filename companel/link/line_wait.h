#pragma once
// Sleeping on a line until it has bytes, somebody wants the link thread, or time runs out, so
// the link thread costs nothing while the line is quiet and still sends a request at once.
//
// Where the platform cannot wait on a descriptor and a wake-up together, Valid() is false and
// the link thread falls back to short waits on the port alone.

#include <QtGlobal>

namespace companel {

class WakeSignal {
public:
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    bool Valid() const { return readFd_ >= 0; }
    // Any thread: makes the next (or the current) WaitForLine return Woken.
    void Wake();
    // Link thread: forgets the wake-ups seen so far.
    void Drain();

    // The descriptor that becomes readable on a wake-up (-1 when not Valid).
    int Descriptor() const { return readFd_; }

private:
    int readFd_ = -1;
    int writeFd_ = -1;
};

enum LineEvent { LineReadable, LineWoken, LineTimeout };

// Waits until `handle` (the port's or socket's native descriptor) is readable, `wake` fires or
// `timeoutMs` passes (negative: no limit).
LineEvent WaitForLine(qintptr handle, WakeSignal& wake, int timeoutMs);

} // namespace companel
