"""Checks the pure-Python random-source model against published values and
worked examples, so it can serve as the reference for velquin's sampling.
Nothing here imports velquin."""

import math
import struct

import pytest

from models.rng_model import (
    ALL_WEIGHTS_ZERO,
    INVALID_WEIGHT,
    NO_ITEM,
    ModelInternalFailure,
    ModelRng,
    ModelUniformFloat,
    ModelWeightedError,
    ModelWeightedIndex,
    chacha_block,
    model_measure_counts,
    model_measure_indices,
    outcome_string,
    pcg32_seed_bytes,
)

INV_SQRT2 = 1.0 / math.sqrt(2.0)
# A one-qubit register after h on qubit 0: r*(1+0) and r*(1-0), imaginary parts 0.
H_STATE = [complex(INV_SQRT2 * 1.0, INV_SQRT2 * 0.0), complex(INV_SQRT2 * 1.0, INV_SQRT2 * 0.0)]


def words_to_bytes(words):
    return b"".join(w.to_bytes(4, "little") for w in words)


def bits(value: float) -> int:
    return struct.unpack("<Q", struct.pack("<d", value))[0]


@pytest.mark.parametrize("seed, expected", [
    (0, "ecf273f981b5cd4587f0467306ad6cadd0d0a3e33317e767f29bea72d78a7dfe"),
    (42, "a48fa17b58323d0aeab8a1cc690114b82b8cc87518b4f7548d446ea1e4df20f2"),
])
def test_pcg32_expansion_matches_worked_seeds(seed, expected):
    assert pcg32_seed_bytes(seed).hex() == expected


@pytest.mark.parametrize("seed, first_u64", [(0, 0xBB2A3FB2CD2C6F7F), (42, 0x86CC7763222724A2)])
def test_first_u64_check_values(seed, first_u64):
    assert ModelRng.seed_from_u64(seed).next_u64() == first_u64


def test_first_u32_is_low_half_of_first_u64():
    assert ModelRng.seed_from_u64(0).next_u32() == 0xCD2C6F7F


def test_chacha20_zero_key_block_matches_published_keystream():
    block = words_to_bytes(chacha_block([0] * 8, 0, double_rounds=10))
    assert block.hex() == (
        "76b8e0ada0f13d90405d6ae55386bd28bdd219b8a08ded1aa836efcc8b770dc7"
        "da41597c5157488d7724e03fb8d84a376a43b8f41518a11cc387b669b2ee6586")


def test_block_counter_carries_into_high_word():
    rng = ModelRng.seed_from_u64(9)
    rng.counter = (1 << 32) - 2
    rng.generate()
    assert rng.results[32:48] == chacha_block(rng.key, 1 << 32)
    assert rng.counter == (1 << 32) + 2
    # Block 2^32 is neither block 0 nor block 0 of stream 1.
    assert rng.results[32:48] != chacha_block(rng.key, 0)
    assert rng.results[32:48] != chacha_block(rng.key, 0, stream=1)


def test_two_u32_are_the_halves_of_one_u64():
    a, b = ModelRng.seed_from_u64(7), ModelRng.seed_from_u64(7)
    lo, hi = a.next_u32(), a.next_u32()
    assert b.next_u64() == (hi << 32) | lo


@pytest.mark.parametrize("start, index_after, counter_after", [(62, 64, 4), (63, 1, 8), (64, 2, 8)])
def test_u64_at_buffer_end(start, index_after, counter_after):
    stream = ModelRng.seed_from_u64(3)
    words = [stream.next_u32() for _ in range(70)]
    rng = ModelRng.seed_from_u64(3)
    for _ in range(start):
        rng.next_u32()
    assert rng.next_u64() == (words[start + 1] << 32) | words[start]
    assert (rng.index, rng.counter) == (index_after, counter_after)


@pytest.mark.parametrize("n, words_used", [(0, 0), (1, 1), (5, 2), (8, 2), (9, 3), (300, 75)])
def test_fill_bytes_consumes_whole_words(n, words_used):
    rng = ModelRng.seed_from_u64(11)
    stream = ModelRng.seed_from_u64(11)
    words = [stream.next_u32() for _ in range(words_used + 1)]
    assert rng.fill_bytes(n) == words_to_bytes(words[:words_used])[:n]
    assert rng.next_u32() == words[words_used]


def test_fill_bytes_straddles_refill():
    rng = ModelRng.seed_from_u64(5)
    for _ in range(63):
        rng.next_u32()
    last = rng.results[63]
    data = rng.fill_bytes(8)
    assert data[:4] == last.to_bytes(4, "little")
    assert data[4:] == rng.results[0].to_bytes(4, "little")
    assert rng.index == 1 and rng.counter == 8


@pytest.mark.parametrize("u, chosen, index", [
    (0, 0.0, 0),
    (0x8000000000000000, 0.5, 1),
    (0xC000000000000000, 0.75, 2),
    (0xFFFFFFFFFFFFFFFF, 1.0 - 2.0 ** -52, 2),
])
def test_sampler_worked_draws(u, chosen, index):
    sampler = ModelWeightedIndex([0.25, 0.5, 0.25])
    assert sampler.cumulative_weights == [0.25, 0.75]
    assert sampler.total_weight == 1.0 and sampler.distribution.scale == 1.0
    assert sampler.distribution.from_bits(u) == chosen
    assert sampler.index_for(chosen) == index


@pytest.mark.parametrize("weights, message", [
    ([], NO_ITEM),
    ([0.0, 0.0, 0.0], ALL_WEIGHTS_ZERO),
    ([0.0, math.nan], INVALID_WEIGHT),
    ([1.0, -0.5], INVALID_WEIGHT),
    ([0.0, 0.0, -1.0, 0.0], INVALID_WEIGHT),  # the first fault wins over all-zero
    ([math.inf, math.nan], INVALID_WEIGHT),
])
def test_sampler_errors(weights, message):
    with pytest.raises(ModelWeightedError, match=f"^{message}$"):
        ModelWeightedIndex(weights)


def test_infinite_total_is_an_internal_failure():
    with pytest.raises(ModelInternalFailure, match="`high` non-finite"):
        ModelWeightedIndex([1.0, math.inf])
    with pytest.raises(ModelInternalFailure, match="`high` non-finite"):
        ModelWeightedIndex([1.7e308, 1.7e308])


def test_negative_zero_weight_is_accepted():
    assert ModelWeightedIndex([-0.0, 1.0]).cumulative_weights == [-0.0]


@pytest.mark.parametrize("weights, only", [
    ([0.0, 1.0], 1), ([1.0, 0.0], 0), ([0.0, 2.0, 0.0], 1), ([3.0], 0)])
def test_zero_weight_never_drawn(weights, only):
    sampler = ModelWeightedIndex(weights)
    rng = ModelRng.seed_from_u64(1)
    assert {sampler.sample(rng) for _ in range(200)} == {only}
    assert sampler.index_for(0.0) == only


def test_denormal_total_gives_zero_scale():
    tiny = 5e-324
    sampler = ModelWeightedIndex([tiny, 0.0])
    assert sampler.distribution.scale == 0.0
    assert sampler.distribution.from_bits(0xFFFFFFFFFFFFFFFF) == 0.0


def test_scale_shrinks_until_top_draw_stays_below_high():
    low, high = 5.275492379532281, 7.826182636926498
    dist = ModelUniformFloat(low, high)
    assert bits(dist.scale) == bits(high - low) - 1
    assert dist.from_bits(0xFFFFFFFFFFFFFFFF) < high
    # Normal ranges starting at 0 keep their full width.
    assert ModelUniformFloat(0.0, 0.3).scale == 0.3


def test_measure_worked_example_with_seed():
    rng = ModelRng.seed_from_u64(1234)
    assert model_measure_indices(H_STATE, 8, rng, seed=0) == [1, 1, 0, 1, 0, 1, 0, 1]
    assert rng.index == 16


def test_measure_without_seed_discards_two_words_then_draws():
    rng = ModelRng.seed_from_u64(1234)
    assert model_measure_counts(H_STATE, 1, 8, rng, seed=0) == {"1": 5, "0": 3}
    assert model_measure_counts(H_STATE, 1, 8, rng) == {"1": 3, "0": 5}


def test_measure_on_register_seeded_at_construction():
    rng = ModelRng.seed_from_u64(0)
    assert model_measure_indices(H_STATE, 8, rng) == [1, 0, 1, 0, 1, 0, 1, 1]


def test_measure_invalid_state_still_advances_generator():
    rng = ModelRng.seed_from_u64(0)
    with pytest.raises(ModelWeightedError, match=INVALID_WEIGHT):
        model_measure_counts([complex(math.nan, 0.0), 1.0], 1, 4, rng)
    assert rng.index == 2


def test_basis_state_gives_single_key():
    amps = [1.0] + [0.0] * 7
    assert model_measure_counts(amps, 3, 10, ModelRng(), seed=5) == {"000": 10}


@pytest.mark.parametrize("index, n, text", [(5, 4, "0101"), (0, 3, "000"), (1, 1, "1")])
def test_outcome_string_format(index, n, text):
    assert outcome_string(index, n) == text
