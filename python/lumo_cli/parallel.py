"""-j N: files converted in N worker processes at a time.

Each worker receives the converter once, when it starts; a converter
pickles as its configuration and custom pairs, so the worker builds its own
copy from them. Workers handle the signals the parent handles (Ctrl-C,
SIGTERM, SIGHUP, less those ignored), and only while they convert: an
interrupted worker removes its temporary file and stops; an idle one
ignores them. The parent, interrupted, tells the workers to start no other
file, passes its signal on to them and waits for them, so that no temporary
file outlives the command and nothing is converted after it ends. The
parent itself takes a signal only between waits on the pool, never inside
the pool's locks (see signals.held).
"""

from __future__ import annotations

import multiprocessing
import os
import signal
from concurrent.futures import FIRST_COMPLETED, Future, ProcessPoolExecutor, wait
from concurrent.futures.process import BrokenProcessPool
from multiprocessing.synchronize import Event
from typing import Callable

import lumo

from . import signals
from .errors import FileError
from .one_file import StreamSettings, convert_task
from .tasks import Task

_POLL_SECONDS = 0.1  # how long a signal to the parent may wait

_converter: lumo.Converter | None = None
_stopping: Event | None = None  # set by the parent when interrupted


def _start_worker(converter: lumo.Converter, stopping: Event, handled: list[int]) -> None:
    global _converter, _stopping
    # The worker started with the signals blocked, as the parent blocked
    # them while it made the pool.
    signals.install(handled)
    signal.pthread_sigmask(signal.SIG_UNBLOCK, signals.SIGNALS)
    _stopping = stopping
    _converter = converter


def _convert_in_worker(task: Task, settings: StreamSettings) -> str | None:
    """The error message for `task`, or None when it converted."""
    assert _converter is not None and _stopping is not None
    try:
        with signals.armed():
            # Checked only now: the parent sets the event before passing its
            # signal on, so either the event is seen here or the signal raises.
            if _stopping.is_set():
                raise KeyboardInterrupt
            convert_task(_converter, task, settings)
    except FileError as error:
        return error.message
    return None


def convert_in_processes(
    converter: lumo.Converter,
    tasks: list[Task],
    settings: StreamSettings,
    jobs: int,
    on_done: Callable[[Task], None],
    report: Callable[[str], None],
) -> bool:
    """Converts the tasks (all into files) on `jobs` processes; reports each
    failure through `report` and each finished task through `on_done`.
    True when all converted. Raises KeyboardInterrupt once every worker has
    stopped, when interrupted."""
    context = multiprocessing.get_context("spawn")
    stopping = context.Event()
    with signals.held():
        # The workers start with the signals blocked, until they set their
        # handlers; here a signal waits for the end of the block.
        blocked = signal.pthread_sigmask(signal.SIG_BLOCK, signals.SIGNALS)
        try:
            executor = ProcessPoolExecutor(
                max_workers=min(jobs, len(tasks)),
                mp_context=context,
                initializer=_start_worker,
                initargs=(converter, stopping, signals.not_ignored()),
            )
            futures: dict[Future[str | None], Task] = {
                executor.submit(_convert_in_worker, task, settings): task for task in tasks
            }
        finally:
            signal.pthread_sigmask(signal.SIG_SETMASK, blocked)
        all_converted = True
        try:
            running = set(futures)
            while running:
                done, running = wait(running, _POLL_SECONDS, FIRST_COMPLETED)
                for future in done:
                    task = futures[future]
                    try:
                        message = future.result()
                    except BrokenProcessPool:
                        message = f"{task.label}: the worker process converting it died"
                    if message is not None:
                        report(message)
                        all_converted = False
                    on_done(task)
                signals.raise_pending()
        except KeyboardInterrupt as interrupt:
            stopping.set()
            for child in multiprocessing.active_children():
                if child.pid is not None:
                    os.kill(child.pid, signals.signal_of(interrupt))
            executor.shutdown(wait=True, cancel_futures=True)
            raise
        executor.shutdown(wait=True)
    return all_converted
