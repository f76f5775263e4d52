"""A first look at velquin: a Bell state on a register, a GHZ circuit, seeded counts."""
import velquin


def main() -> None:
    bell = velquin.StateVecPy(2, seed=7)
    bell.h(0)
    bell.cx(0, 1)
    print("Bell state amplitudes:", bell.amplitudes())
    print("Bell counts (1000 shots, seed 7):", dict(sorted(bell.measure_counts(1000, seed=7).items())))

    ghz = velquin.QuantumCircuit(5)
    ghz.h(0)
    for q in range(4):
        ghz.cx(q, q + 1)
    state = ghz.statevector()
    print("GHZ(5) nonzero amplitudes:", {i: complex(a) for i, a in enumerate(state) if a != 0})
    print("GHZ(5) counts (1000 shots, seed 1):", dict(sorted(ghz.run(1000, seed=1).items())))


if __name__ == "__main__":
    main()
