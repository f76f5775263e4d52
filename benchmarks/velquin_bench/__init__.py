"""velquin against its peers: one harness (see benchmarks/README.md)."""
