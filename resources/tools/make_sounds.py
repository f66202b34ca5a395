#!/usr/bin/env python3
"""Synthesises the programs' short notification sounds as 16-bit mono WAV files.

Each sound is a few plain tones with a soft attack and decay, so it is recognisable on a
noisy switchgear floor without being harsh. Run from anywhere; writes into ../sounds.
"""
import math
import os
import struct
import wave

RATE = 22050


def tone(freq, ms, volume=0.45, harmonics=(1.0, 0.3, 0.1)):
    n = int(RATE * ms / 1000)
    attack = max(1, int(RATE * 0.008))
    out = []
    for i in range(n):
        t = i / RATE
        env = min(1.0, i / attack) * math.exp(-3.0 * i / n)
        s = sum(a * math.sin(2 * math.pi * freq * (k + 1) * t) for k, a in enumerate(harmonics))
        out.append(volume * env * s / sum(harmonics))
    return out


def silence(ms):
    return [0.0] * int(RATE * ms / 1000)


def write(name, samples):
    here = os.path.dirname(os.path.abspath(__file__))
    path = os.path.join(here, "..", "sounds", name)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", int(max(-1, min(1, s)) * 32767)) for s in samples))


# Start: a rising major triad.
write("start.wav", tone(523, 140) + tone(659, 140) + tone(784, 320))
# Operation confirmed: two firm low notes.
write("yk.wav", tone(440, 110) + silence(40) + tone(660, 220))
# Transfer confirmed / pointer over a button: one short soft tick.
write("hover.wav", tone(1320, 45, volume=0.3, harmonics=(1.0,)))
# Binary input changed: a quick high double beep.
write("yx.wav", tone(1046, 90) + silence(50) + tone(1046, 90))
# Relay connected: a ring of alternating notes.
write("ring.wav", (tone(880, 80) + tone(1175, 80)) * 3)
