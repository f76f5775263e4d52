"""Per-shot results from velquin's counts, and measured qubits into classical bits.

velquin returns counts only. Per-shot records are made from them: the exact
multiset of outcomes the counts hold, in ascending order of basis index, then
shuffled by ``rng.permutation``. With a seeded ``rng`` the order is
reproducible; it is a uniformly random order of the same outcomes, so any
statistic of the shots is that of the counts.
"""

from __future__ import annotations

from collections.abc import Mapping, Sequence

import numpy as np
import numpy.typing as npt


def counts_to_bits(
    counts: Mapping[str, int],
    n_qubits: int,
    positions: Sequence[int | None],
    rng: np.random.Generator,
) -> npt.NDArray[np.uint8]:
    """Shots as a ``(shots, len(positions))`` array of 0 and 1, in a seeded random order.

    ``counts`` maps outcome strings of ``n_qubits`` characters (qubit 0
    rightmost, as velquin writes them) to counts. Column ``b`` holds the value
    of register qubit ``positions[b]`` in each shot, or 0 where it is None
    (a qubit no gate touched).
    """
    keys = list(counts)
    shots_per_key = np.fromiter(counts.values(), dtype=np.int64, count=len(keys))
    # One row of characters per distinct outcome; column n_qubits - 1 - q is qubit q.
    chars = np.frombuffer("".join(keys).encode("ascii"), dtype=np.uint8)
    outcome_bits = (chars.reshape(len(keys), n_qubits) - ord("0")).astype(np.uint8)
    # Ascending basis index, whatever order the dict came in.
    weights = np.left_shift(np.int64(1), np.arange(n_qubits - 1, -1, -1, dtype=np.int64))
    order = np.argsort(outcome_bits.astype(np.int64) @ weights, kind="stable")
    columns = [n_qubits - 1 - p if p is not None else n_qubits for p in positions]
    padded = np.concatenate([outcome_bits, np.zeros((len(keys), 1), np.uint8)], axis=1)
    distinct = padded[order][:, columns]
    rows = np.repeat(distinct, shots_per_key[order], axis=0)
    return rows[rng.permutation(rows.shape[0])]
