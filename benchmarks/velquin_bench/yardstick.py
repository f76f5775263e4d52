"""The read-modify-write pass that bounds an in-place gate (built by run.sh)."""
from __future__ import annotations

import ctypes
import time

import numpy as np


class Yardstick:
    def __init__(self, library: str, threads: int):
        self._lib = ctypes.CDLL(library)
        self._lib.rmw_pass.argtypes = [ctypes.c_void_p, ctypes.c_size_t,
                                       ctypes.c_double, ctypes.c_int]
        self._lib.rmw_pass.restype = None
        self.threads = threads

    def buffer(self, n: int) -> np.ndarray:
        """16 x 2^n bytes, touched once so page faults stay out of the timing."""
        return np.ones(2 * 2**n, dtype=np.float64)

    def pass_over(self, data: np.ndarray, passes: int = 1):
        """A callable that runs passes passes over data and returns the time
        of one (a mean over several steadies the reference for long runs)."""
        fn, pointer, count, threads = self._lib.rmw_pass, data.ctypes.data, data.size, self.threads
        steps = range(passes)

        def run():
            start = time.perf_counter()
            for _ in steps:
                fn(pointer, count, 1.0, threads)
            return (time.perf_counter() - start) / passes

        run.keep_alive = data
        return run
