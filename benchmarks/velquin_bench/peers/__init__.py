"""One module per peer, velquin first. Importing this package imports no simulator:
each module imports its package inside its makers. A module offers
make_<task>(problem, config, threads) -> a call to time, for the tasks it can do,
and version(), NAME and PRECISION."""
PEERS = {"velquin": "velquin", "Aer": "aer", "qulacs": "qulacs", "qsim": "qsim",
         "Lightning": "lightning", "NumPy": "numpy_peer"}
