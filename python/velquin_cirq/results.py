"""Final states handed to Cirq as velquin computed them: not copied, not renormalised."""

from __future__ import annotations

from collections.abc import Sequence

import cirq
import numpy as np
import numpy.typing as npt


class TrialResult(cirq.StateVectorTrialResult):
    """A ``cirq.StateVectorTrialResult`` whose ``final_state_vector`` is velquin's array itself.

    ``cirq.StateVectorTrialResult`` rescales the state to norm 1 when that
    lowers round-off; velquin never rescales amplitudes, so here the vector
    is the amplitudes as computed (in Cirq's big-endian order of the result's
    qubits), global phase included.
    """

    @property
    def final_state_vector(self) -> npt.NDArray[np.complex128]:
        return self._get_merged_sim_state().target_tensor.reshape(-1)


def simulation_state(state: npt.NDArray[np.complex128], order: Sequence[cirq.Qid]
                     ) -> cirq.StateVectorSimulationState:
    """A Cirq simulation state over ``order`` holding ``state`` without a copy."""
    holder = cirq.StateVectorSimulationState(qubits=order, initial_state=0, dtype=np.complex128)
    # Given an array, Cirq would copy it; velquin's array takes the place of the fresh
    # |0...0> instead, whose untouched pages (and its scratch buffer's) were never committed.
    holder._state._state_vector = state.reshape((2,) * len(order))
    return holder
