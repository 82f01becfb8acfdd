"""lumo -c NAME ...: everything checked first, then each input converted,
one after another or in worker processes, a failing input reported and the
others still converted."""

from __future__ import annotations

import os
import stat

from .custom_words import read_custom_words
from .errors import FAILED, SUCCESS, FileError
from .one_file import StreamSettings, convert_task
from .options import ConvertOptions
from .progress import Progress, wanted
from .recipe import Recipe
from .tasks import Task, plan_tasks, standard_input
from .text_codecs import resolve_encoding


def _size(task: Task) -> int | None:
    """The input's size in bytes, or None when it is not known in advance."""
    try:
        found = os.stat(task.source) if task.source else os.fstat(standard_input().fileno())
    except (OSError, ValueError, FileError):
        return 0 if task.source else None
    return found.st_size if stat.S_ISREG(found.st_mode) else None


def run_convert(options: ConvertOptions) -> int:
    recipe = Recipe(
        config=options.config,
        regions=options.regions,
        custom=read_custom_words(options.custom_files, options.custom_texts),
    )
    converter = recipe.build()
    settings = StreamSettings(
        input_codec=resolve_encoding(options.encoding, "--encoding"),
        output_codec=resolve_encoding(options.output_encoding, "--output-encoding"),
        replace_errors=options.replace_errors,
        chunk_bytes=options.chunk_bytes,
        explain=options.explain,
        config=converter.config,
        max_held_mib=options.max_held_mib,
        plausible=options.plausible,
    )
    tasks = plan_tasks(options.inputs, options.output, options.in_place)
    to_stdout = tasks[0].target is None
    sizes = [_size(task) for task in tasks]
    total = None if None in sizes else sum(size or 0 for size in sizes)
    progress = Progress(wanted(options.quiet, to_stdout), total, len(tasks))
    all_converted = True
    try:
        if options.jobs > 1 and len(tasks) > 1 and not to_stdout:
            # Imported here: its process pool takes a fifth of the command's
            # start-up to import.
            from .parallel import convert_in_processes

            size_of = {id(task): size or 0 for task, size in zip(tasks, sizes)}
            all_converted = convert_in_processes(
                converter,
                tasks,
                settings,
                options.jobs,
                on_done=lambda task: progress.advance(size_of[id(task)]),
                report=progress.report,
            )
        else:
            for task in tasks:
                progress.start_file(task.label)
                try:
                    convert_task(converter, task, settings, progress.advance)
                except FileError as error:
                    progress.report(error.message)
                    all_converted = False
    finally:
        progress.close()
    return SUCCESS if all_converted else FAILED
