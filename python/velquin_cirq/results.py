"""Final states handed to Cirq as velquin computed them: not copied, not renormalised."""

from __future__ import annotations

from collections.abc import Sequence

import cirq
import numpy as np
import numpy.typing as npt
from cirq.sim.state_vector_simulation_state import _BufferedStateVector


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
    """A Cirq simulation state over ``order`` holding ``state`` without a copy.

    Made as Cirq makes one, without its validation of a fresh |0...0> (a pass over every
    amplitude) or a copy of the state: the engine's array is the state vector, and the
    buffer Cirq keeps for further evolution is allocated but never touched.
    """
    holder = cirq.StateVectorSimulationState.__new__(cirq.StateVectorSimulationState)
    tensor = state.reshape((2,) * len(order))
    cirq.SimulationState.__init__(holder, state=_BufferedStateVector(tensor), qubits=order)
    return holder
