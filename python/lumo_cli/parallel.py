"""-j N: files converted in N worker processes at a time.

A converter cannot be pickled, so each worker builds its own from the
recipe, once. Workers take Ctrl-C only while they convert: an interrupted
worker removes its temporary file and stops; an idle one ignores it. The
parent, on Ctrl-C, tells the workers to start no other file, passes Ctrl-C
on to them and waits for them, so that no temporary file outlives the
command and nothing is converted after it ends.
"""

from __future__ import annotations

import multiprocessing
import os
import signal
from concurrent.futures import Future, ProcessPoolExecutor, as_completed
from concurrent.futures.process import BrokenProcessPool
from multiprocessing.synchronize import Event
from types import FrameType
from typing import Callable

import lumo

from .errors import FileError
from .one_file import StreamSettings, convert_task
from .recipe import Recipe
from .tasks import Task

_converter: lumo.Converter | None = None
_stopping: Event | None = None  # set by the parent on Ctrl-C
_converting = False


def _on_interrupt(signum: int, frame: FrameType | None) -> None:
    global _converting
    if _converting:
        _converting = False  # a second Ctrl-C must not cut the clean-up short
        raise KeyboardInterrupt


def _start_worker(recipe: Recipe, stopping: Event) -> None:
    global _converter, _stopping
    signal.signal(signal.SIGINT, _on_interrupt)
    _stopping = stopping
    _converter = recipe.build()


def _convert_in_worker(task: Task, settings: StreamSettings) -> str | None:
    """The error message for `task`, or None when it converted."""
    global _converting
    assert _converter is not None and _stopping is not None
    try:
        _converting = True
        # Checked only now: the parent sets the event before passing Ctrl-C
        # on, so either the event is seen here or the signal raises.
        if _stopping.is_set():
            raise KeyboardInterrupt
        convert_task(_converter, task, settings)
    except FileError as error:
        return error.message
    finally:
        _converting = False
    return None


def convert_in_processes(
    recipe: Recipe,
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
    # The workers start with Ctrl-C ignored, until they install their handler.
    previous = signal.signal(signal.SIGINT, signal.SIG_IGN)
    try:
        executor = ProcessPoolExecutor(
            max_workers=min(jobs, len(tasks)),
            mp_context=context,
            initializer=_start_worker,
            initargs=(recipe, stopping),
        )
        futures: dict[Future[str | None], Task] = {
            executor.submit(_convert_in_worker, task, settings): task for task in tasks
        }
    finally:
        signal.signal(signal.SIGINT, previous)

    all_converted = True
    try:
        for future in as_completed(futures):
            task = futures[future]
            try:
                message = future.result()
            except BrokenProcessPool:
                message = f"{task.label}: the worker process converting it died"
            if message is not None:
                report(message)
                all_converted = False
            on_done(task)
    except KeyboardInterrupt:
        stopping.set()
        for child in multiprocessing.active_children():
            if child.pid is not None:
                os.kill(child.pid, signal.SIGINT)
        executor.shutdown(wait=True, cancel_futures=True)
        raise
    executor.shutdown(wait=True)
    return all_converted
