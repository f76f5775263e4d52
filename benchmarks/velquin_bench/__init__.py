"""Side-by-side timing of velquin against other state-vector simulators."""
