"""One adapter per simulator, all with the interface of base.Simulator."""
