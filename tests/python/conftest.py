import struct

import pytest


def bits(value: float) -> int:
    """The IEEE binary64 bit pattern of a float (distinguishes -0.0 from 0.0)."""
    return struct.unpack("<Q", struct.pack("<d", value))[0]


def same_float(a: float, b: float) -> bool:
    """Bitwise equality, except that any NaN equals any NaN (IEEE fixes no NaN payloads)."""
    if a != a and b != b:
        return True
    return bits(a) == bits(b)


@pytest.fixture
def velquin():
    import velquin as module

    return module
