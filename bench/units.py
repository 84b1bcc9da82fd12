"""Units shared by the tools that print or store what they measured."""

# GNU time's %M, the peak resident set, is in KiB.
BYTES_PER_KIB = 1024
# The programs' own messages count memory in decimal megabytes.
BYTES_PER_MB = 1000000


def bytes_from_kib(kib):
    return None if kib is None else kib * BYTES_PER_KIB


def megabytes(count):
    """Decimal megabytes of a count of bytes, as the programs' messages give them."""
    return count / BYTES_PER_MB
