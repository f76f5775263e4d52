"""One module per peer, velquin first; importing one imports no simulator (each imports
its package inside its makers). A module offers make_<task>(problem, config, threads),
which returns the call to time, for the tasks it can do, and version(), NAME, PRECISION."""
PEERS = {"velquin": "velquin", "Aer": "aer", "qulacs": "qulacs", "qsim": "qsim",
         "Lightning": "lightning", "NumPy": "numpy_peer"}
_live: dict = {}


def live(n: int, make):
    """One live register per n (a worker runs one peer), shared by every gate of that n."""
    if n not in _live:
        _live.clear()
        _live[n] = make()
    return _live[n]


def loop(function, args: tuple, count: int):
    """count calls of function(*args), a plain Python loop as a user writes it: every peer's
    cheapest bound call with nothing in between (a gate row adds one lambda for all alike)."""
    def run():
        for _ in range(count):
            function(*args)

    return run
