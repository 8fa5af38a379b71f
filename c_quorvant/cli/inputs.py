"""From the command line's arguments to the files a run works on, each once, with
where its output goes or why it is left alone."""

import os
from collections.abc import Iterator
from dataclasses import dataclass

# The passes choose the format by these endings, byte for byte (case counts).
SUPPORTED_ENDINGS = (".ass", ".ssa", ".srt", ".vtt")
ENDINGS_NAMED = ".ass, .ssa, .srt or .vtt"
OUTPUT_PREFIX = "[Quorvanted] "
EARLIER_OUTPUT = "the output of an earlier run (--include-outputs processes it)"
OUTPUT_EXISTS = "its output {} exists"


@dataclass(frozen=True)
class Input:
    index: int  # position in the run, for reporting in order
    path: str  # as the user gave it, or as found in a folder given
    output: str = ""  # where its output goes, shown the same way
    skipped: str = ""  # why it is left alone; "" otherwise
    problem: str = ""  # why it can't be worked on; "" otherwise

    @property
    def runnable(self) -> bool:
        return not (self.skipped or self.problem)


@dataclass(frozen=True)
class Selection:
    inputs: list[Input]
    ignored: list[str]  # files in the folders given that are not subtitles at all

    @property
    def names_subtitles(self) -> bool:
        return any(item.path.endswith(SUPPORTED_ENDINGS) or item.problem for item in self.inputs)


@dataclass(frozen=True)
class Options:
    mode: str  # export, rewrite or preview
    recursive: bool = False
    include_outputs: bool = False
    output_dir: str | None = None
    skip_existing: bool = False


def select_inputs(arguments: list[str], options: Options) -> Selection:
    inputs: list[Input] = []
    ignored: list[str] = []
    seen: set[tuple[str, str]] = set()
    for path, below_root, problem in _expanded(arguments, options.recursive, ignored):
        if problem:
            inputs.append(Input(len(inputs), path, problem=problem))
            continue
        folder, name = os.path.split(os.path.abspath(path))
        # Linked folders lead to one file, a linked file is a name of its own.
        identity = (os.path.realpath(folder), name)
        if identity in seen:
            continue
        seen.add(identity)
        inputs.append(_judged(len(inputs), path, below_root, options))
    return Selection(inputs, ignored)


def output_name(name: str, mode: str) -> str:
    """The module's rule: the prefix in front, the ending from the last '.' swapped."""
    stem, dot, ending = name.rpartition(".")
    ending = ".json" if mode == "export" else dot + ending
    return OUTPUT_PREFIX + (stem if dot else name) + ending


def _expanded(arguments: list[str], recursive: bool, ignored: list[str]) -> Iterator[tuple[str, str, str]]:
    """(path, its folder below the searched folder, "") for each file the arguments
    name, and (folder, "", reason) for each folder that can't be read."""
    for argument in arguments:
        if not os.path.isdir(argument):
            yield argument, "", ""
            continue
        unreadable: list[OSError] = []
        for folder, subfolders, names in os.walk(argument, onerror=unreadable.append):
            # Hidden entries include the writer's temporary files.
            subfolders[:] = sorted(name for name in subfolders if recursive and not name.startswith("."))
            below = os.path.relpath(folder, argument)
            for name in sorted(names):
                path = os.path.join(folder, name)
                if name.startswith("."):
                    continue
                if name.lower().endswith(SUPPORTED_ENDINGS):
                    yield path, "" if below == os.curdir else below, ""
                else:
                    ignored.append(path)
        for error in unreadable:
            yield error.filename, "", f"cannot read the folder: {error.strerror}"


def _judged(index: int, path: str, below_root: str, options: Options) -> Input:
    folder, name = os.path.split(path)
    if not name.endswith(SUPPORTED_ENDINGS):
        if name.lower().endswith(SUPPORTED_ENDINGS):
            fixed = name[:-4] + name[-4:].lower()
            return Input(
                index,
                path,
                skipped=f"the ending's letter case counts: only names ending in exactly "
                f"{ENDINGS_NAMED} are read (rename it to {fixed})",
            )
        return Input(index, path, skipped=f"not an {ENDINGS_NAMED} file")
    if name.startswith(OUTPUT_PREFIX) and not options.include_outputs:
        return Input(index, path, skipped=EARLIER_OUTPUT)
    if not os.path.exists(path):
        return Input(index, path, problem="no such file")
    if options.mode == "preview":
        return Input(index, path)
    target_folder = os.path.join(options.output_dir, below_root) if options.output_dir is not None else folder
    output = os.path.join(target_folder, output_name(name, options.mode))
    if options.skip_existing and os.path.lexists(output):
        return Input(index, path, output, skipped=OUTPUT_EXISTS.format(output))
    if os.path.exists(output) and os.path.samefile(path, output):
        return Input(index, path, output, problem=f"its output {output} is this file; refusing to write over it")
    return Input(index, path, output)
