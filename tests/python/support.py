"""What several test files need: how far another Python thread gets while a call runs (the check
that a call releases the interpreter lock), and how much memory the machine has free."""

import threading
import time


def _counted_over(call):
    """How far a counting thread got during `call`, and how long `call` took."""
    counts = []
    running = threading.Event()
    stop = threading.Event()

    def count():
        running.set()
        counted = 0
        while not stop.is_set():
            counted += 1
            if counted % 1000 == 0:
                counts.append(counted)
        counts.append(counted)

    thread = threading.Thread(target=count)
    thread.start()
    running.wait()
    before = counts[-1] if counts else 0
    started = time.perf_counter()
    call()
    seconds = time.perf_counter() - started
    during = (counts[-1] if counts else 0) - before
    stop.set()
    thread.join()
    return during, seconds


def progress_during(call):
    """How far a counting thread gets during `call`, and how far it gets alone in as long: with
    the lock held throughout, the first is near nothing."""
    during, seconds = _counted_over(call)
    alone, _ = _counted_over(lambda: time.sleep(seconds))
    return during, alone


def available_bytes():
    """The memory the machine has available, from /proc/meminfo; 0 where that is unknown."""
    try:
        with open("/proc/meminfo") as meminfo:
            for line in meminfo:
                if line.startswith("MemAvailable:"):
                    return int(line.split()[1]) * 1024
    except OSError:
        pass
    return 0
