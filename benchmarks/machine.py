"""What the benchmark scripts print about the machine they ran on."""

import platform


def cpu_model():
    """The processor's model name, as /proc/cpuinfo gives it, for a table's heading."""
    with open("/proc/cpuinfo") as f:
        found = (line.split(":", 1)[1].strip() for line in f if line.startswith("model name"))
        return next(found, platform.processor() or "unknown")
