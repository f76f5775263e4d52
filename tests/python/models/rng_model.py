"""Pure-Python model of velquin's random source, written from the formulas.

It covers PCG32 seed expansion, the ChaCha block function, the generator's
buffer reader (next_u32 / next_u64 / fill_bytes), the uniform double
distribution, the weighted index sampler and the measurement loop built on
them. Python floats are IEEE binary64 without fused multiply-add, so every
floating-point step here rounds exactly as the C++ code must. This module never
imports velquin: it is the reference the extension is checked against.
"""

from __future__ import annotations

import bisect
import math
import struct
from typing import Iterable, Sequence

MASK32 = 0xFFFFFFFF
MASK64 = 0xFFFFFFFFFFFFFFFF

PCG_MULTIPLIER = 0x5851F42D4C957F2D
PCG_INCREMENT = 0xA17654E46FBE17F3

CHACHA_CONSTANTS = (0x61707865, 0x3320646E, 0x79622D32, 0x6B206574)
CHACHA12_DOUBLE_ROUNDS = 6
CHACHA20_DOUBLE_ROUNDS = 10
BUFFER_WORDS = 64


def pcg32_seed_bytes(x: int) -> bytes:
    """The 32-byte key that a 64-bit seed expands to (PCG32, XSH-RR)."""
    state = x & MASK64
    out = bytearray()
    for _ in range(8):
        state = (state * PCG_MULTIPLIER + PCG_INCREMENT) & MASK64
        xorshifted = (((state >> 18) ^ state) >> 27) & MASK32
        rot = state >> 59
        word = ((xorshifted >> rot) | (xorshifted << ((32 - rot) & 31))) & MASK32
        out += word.to_bytes(4, "little")
    return bytes(out)


def _rotl(v: int, n: int) -> int:
    return ((v << n) | (v >> (32 - n))) & MASK32


def chacha_block(key_words: Sequence[int], counter: int, stream: int = 0,
                 double_rounds: int = CHACHA12_DOUBLE_ROUNDS) -> list[int]:
    """One 16-word ChaCha block for 8 key words, a 64-bit block counter and a
    64-bit stream number."""
    counter &= MASK64
    x = list(CHACHA_CONSTANTS) + list(key_words) + [
        counter & MASK32, counter >> 32, stream & MASK32, (stream >> 32) & MASK32]
    w = list(x)

    def qr(a: int, b: int, c: int, d: int) -> None:
        w[a] = (w[a] + w[b]) & MASK32
        w[d] = _rotl(w[d] ^ w[a], 16)
        w[c] = (w[c] + w[d]) & MASK32
        w[b] = _rotl(w[b] ^ w[c], 12)
        w[a] = (w[a] + w[b]) & MASK32
        w[d] = _rotl(w[d] ^ w[a], 8)
        w[c] = (w[c] + w[d]) & MASK32
        w[b] = _rotl(w[b] ^ w[c], 7)

    for _ in range(double_rounds):
        qr(0, 4, 8, 12)
        qr(1, 5, 9, 13)
        qr(2, 6, 10, 14)
        qr(3, 7, 11, 15)
        qr(0, 5, 10, 15)
        qr(1, 6, 11, 12)
        qr(2, 7, 8, 13)
        qr(3, 4, 9, 14)
    return [(w[i] + x[i]) & MASK32 for i in range(16)]


class ModelRng:
    """The generator: ChaCha12 keystream words read from a 64-word buffer."""

    def __init__(self, seed: bytes = bytes(32)) -> None:
        self.reseed(seed)

    @classmethod
    def from_seed(cls, seed: bytes) -> "ModelRng":
        return cls(seed)

    @classmethod
    def seed_from_u64(cls, x: int) -> "ModelRng":
        return cls(pcg32_seed_bytes(x))

    def reseed(self, seed: bytes) -> None:
        """Replaces the whole state, as assigning a freshly seeded generator does."""
        if len(seed) != 32:
            raise ValueError("seed must be 32 bytes")
        self.key = [int.from_bytes(seed[4 * i:4 * i + 4], "little") for i in range(8)]
        self.counter = 0
        self.results = [0] * BUFFER_WORDS
        self.index = BUFFER_WORDS

    def reseed_from_u64(self, x: int) -> None:
        self.reseed(pcg32_seed_bytes(x))

    def generate(self) -> None:
        words: list[int] = []
        for j in range(4):
            words += chacha_block(self.key, self.counter + j)
        self.results = words
        self.counter = (self.counter + 4) & MASK64

    def next_u32(self) -> int:
        if self.index >= BUFFER_WORDS:
            self.generate()
            self.index = 0
        value = self.results[self.index]
        self.index += 1
        return value

    def next_u64(self) -> int:
        if self.index < BUFFER_WORDS - 1:
            lo, hi = self.results[self.index], self.results[self.index + 1]
            self.index += 2
        elif self.index >= BUFFER_WORDS:
            self.generate()
            lo, hi = self.results[0], self.results[1]
            self.index = 2
        else:
            lo = self.results[BUFFER_WORDS - 1]
            self.generate()
            hi = self.results[0]
            self.index = 1
        return (hi << 32) | lo

    def fill_bytes(self, n: int) -> bytes:
        """n bytes of output; a request ending inside a word loses the rest of it."""
        out = bytearray()
        while len(out) < n:
            if self.index >= BUFFER_WORDS:
                self.generate()
                self.index = 0
            take = min((BUFFER_WORDS - self.index) * 4, n - len(out))
            words = (take + 3) // 4
            chunk = b"".join(w.to_bytes(4, "little")
                             for w in self.results[self.index:self.index + words])
            out += chunk[:take]
            self.index += words
        return bytes(out)


def _bits_to_double(bits: int) -> float:
    return struct.unpack("<d", struct.pack("<Q", bits))[0]


def _double_to_bits(value: float) -> int:
    return struct.unpack("<Q", struct.pack("<d", value))[0]


MAX_FRACTION = _bits_to_double(0x3FFFFFFFFFFFFFFF) - 1.0


class ModelInternalFailure(RuntimeError):
    """What the extension reports as an internal failure (a panic)."""


class ModelUniformFloat:
    def __init__(self, low: float, high: float) -> None:
        if not math.isfinite(low):
            raise ModelInternalFailure("Uniform::new called with `low` non-finite.")
        if not math.isfinite(high):
            raise ModelInternalFailure("Uniform::new called with `high` non-finite.")
        if not low < high:
            raise ModelInternalFailure("Uniform::new called with `low >= high`")
        scale = high - low
        if not math.isfinite(scale):
            raise ModelInternalFailure("Uniform::new: range overflow")
        while scale * MAX_FRACTION + low >= high:
            scale = _bits_to_double(_double_to_bits(scale) - 1)
        self.low = low
        self.scale = scale

    def from_bits(self, u: int) -> float:
        fraction = _bits_to_double((u >> 12) | 0x3FF0000000000000) - 1.0
        return fraction * self.scale + self.low

    def sample(self, rng: ModelRng) -> float:
        return self.from_bits(rng.next_u64())


NO_ITEM = "No weights provided in distribution"
INVALID_WEIGHT = "A weight is invalid in distribution"
ALL_WEIGHTS_ZERO = "All weights are zero in distribution"


class ModelWeightedError(ValueError):
    """A sampler error; its text is the display text."""


class ModelWeightedIndex:
    def __init__(self, weights: Iterable[float]) -> None:
        it = iter(weights)
        try:
            first = float(next(it))
        except StopIteration:
            raise ModelWeightedError(NO_ITEM) from None
        if not first >= 0.0:
            raise ModelWeightedError(INVALID_WEIGHT)
        total = first
        cumulative: list[float] = []
        for w in it:
            w = float(w)
            if not w >= 0.0:
                raise ModelWeightedError(INVALID_WEIGHT)
            cumulative.append(total)
            total = total + w
        if total == 0.0:
            raise ModelWeightedError(ALL_WEIGHTS_ZERO)
        self.cumulative_weights = cumulative
        self.total_weight = total
        self.distribution = ModelUniformFloat(0.0, total)

    def index_for(self, chosen: float) -> int:
        """Number of running sums <= chosen."""
        return bisect.bisect_right(self.cumulative_weights, chosen)

    def sample(self, rng: ModelRng) -> int:
        return self.index_for(self.distribution.sample(rng))


def outcome_string(index: int, n_qubits: int) -> str:
    return format(index, "b").zfill(n_qubits)


def model_weights(amplitudes: Iterable[complex]) -> list[float]:
    """re*re + im*im per amplitude: two rounded products and one rounded sum."""
    weights = []
    for a in amplitudes:
        a = complex(a)
        re, im = a.real, a.imag
        weights.append(re * re + im * im)
    return weights


def model_measure_indices(amplitudes: Iterable[complex], shots: int, rng: ModelRng,
                          seed: int | None = None) -> list[int]:
    """The basis indices a measurement draws, in draw order.

    Like the register, `rng` is first reseeded from `seed` (in place) or, with
    no seed, advanced by discarding 8 bytes; that step stays even when the
    weights then turn out invalid."""
    if seed is not None:
        rng.reseed_from_u64(seed)
    else:
        rng.fill_bytes(8)
    sampler = ModelWeightedIndex(model_weights(amplitudes))
    return [sampler.sample(rng) for _ in range(shots)]


def model_measure_counts(amplitudes: Iterable[complex], n_qubits: int, shots: int,
                         rng: ModelRng, seed: int | None = None) -> dict[str, int]:
    """The counts dict that measure_counts(shots, seed) returns for a register
    holding `amplitudes` whose generator is `rng` (advanced in place)."""
    counts: dict[str, int] = {}
    for index in model_measure_indices(amplitudes, shots, rng, seed):
        key = outcome_string(index, n_qubits)
        counts[key] = counts.get(key, 0) + 1
    return counts
