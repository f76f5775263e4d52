"""What an executor's workers compute for a sweep: module-level, so it pickles
(``velquin_adapters.fan_out`` sends it to worker processes or a Dask cluster)."""

from __future__ import annotations

import numpy as np
import numpy.typing as npt
import velquin_adapters as va


def state(item: tuple[va.Program, npt.NDArray[np.float64]]) -> npt.NDArray[np.complex128]:
    """The final state of one program at one row of parameter values."""
    program, row = item
    return va.state(program, row)
