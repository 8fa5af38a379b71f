"""From the command line's arguments to the files a run works on, each once, with
where its output goes or why it is left alone."""

import errno
import os
import stat
from collections.abc import Iterator
from dataclasses import dataclass, replace

from c_quorvant.formats import (
    DEFAULT_NAME,
    INPUTS_NAMED,
    NOT_AN_INPUT,
    OUTPUT_PREFIX,
    is_input,
    is_matroska,
    output_name,
)

EARLIER_OUTPUT = "the output of an earlier run (--include-outputs processes it)"
OUTPUT_EXISTS = "its output {} exists"
BACKUP_ENDING = ".orig"


@dataclass(frozen=True)
class Input:
    index: int  # position in the run, for reporting in order
    path: str  # as the user gave it, or as found in a folder given
    output: str = ""  # where its output goes, shown the same way
    skipped: str = ""  # why it is left alone; "" otherwise
    problem: str = ""  # why it can't be worked on; "" otherwise
    backup: str = ""  # --in-place: its NAME.orig from an earlier run, which it is checked against

    @property
    def runnable(self) -> bool:
        return not (self.skipped or self.problem)


@dataclass(frozen=True)
class Selection:
    inputs: list[Input]
    ignored: list[str]  # files in the folders given that are not subtitles at all

    @property
    def names_subtitles(self) -> bool:
        return any(is_input(item.path) or item.problem for item in self.inputs)


@dataclass(frozen=True)
class Options:
    mode: str  # export, rewrite or preview
    recursive: bool = False
    include_outputs: bool = False
    output_dir: str | None = None
    skip_existing: bool = False
    name: str = DEFAULT_NAME  # the outputs' name template
    in_place: bool = False  # each output replaces its input
    backup: bool = True  # with in_place, the input is kept as NAME.orig
    follow_links: bool = False  # -r enters linked subfolders; --in-place rewrites links out of the tree
    force: bool = False  # --in-place replaces read-only files too
    sidecar: bool = False  # a Matroska file's changed tracks go beside it as loose files


class RealPaths:
    """os.path.realpath with each folder resolved once: of a file, only its own name
    is looked at, and followed when it is a link."""

    def __init__(self) -> None:
        self._folders: dict[str, str] = {}

    def folder(self, folder: str) -> str:
        real = self._folders.get(folder)
        if real is None:
            real = self._folders[folder] = os.path.realpath(folder)
        return real

    def __call__(self, path: str) -> str:
        # abspath would take "link/.." for the folder the link is in, not its target's parent.
        if os.pardir in path.split(os.sep):
            return os.path.realpath(path)
        folder, name = os.path.split(os.path.abspath(path))
        joined = os.path.join(self.folder(folder), name)
        return os.path.realpath(joined) if os.path.islink(joined) else joined


def select_inputs(arguments: list[str], options: Options) -> Selection:
    inputs: list[Input] = []
    ignored: list[str] = []
    found: set[int] = set()  # indexes of the files a folder gave, not named themselves
    seen: set[tuple[str, str]] = set()
    real_path = RealPaths()
    for path, below_root, problem, skipped in _expanded(arguments, options, ignored):
        if problem or skipped:
            inputs.append(Input(len(inputs), path, problem=problem, skipped=skipped))
            continue
        if path not in arguments:
            found.add(len(inputs))
        folder, name = os.path.split(os.path.abspath(path))
        # Linked folders lead to one file, a linked file is a name of its own, but
        # rewritten in place it is the file it leads to.
        identity = os.path.split(real_path(path)) if options.in_place else (real_path.folder(folder), name)
        if identity in seen:
            continue
        seen.add(identity)
        inputs.append(_judged(len(inputs), path, below_root, options))
    return Selection(_earlier_outputs_skipped(inputs, found, options), ignored)


def _earlier_outputs_skipped(inputs: list[Input], found: set[int], options: Options) -> list[Input]:
    """Skips each file a folder gave that is what the name template makes of another
    file of the run: the output of an earlier run of the same command, whatever the
    template (`{stem}.en{ext}` would otherwise make `ep.en.en.srt` of `ep.en.srt`).
    A file named on the command line stays an input."""
    if options.include_outputs or options.in_place:
        return inputs
    made = {os.path.realpath(item.output): item.index for item in inputs if item.output}
    return [
        replace(item, output="", skipped=EARLIER_OUTPUT)
        if item.index in found
        and not item.problem
        and made.get(os.path.realpath(item.path), item.index) != item.index
        and (item.runnable or item.skipped == OUTPUT_EXISTS.format(item.output))
        else item
        for item in inputs
    ]


def _expanded(arguments: list[str], options: Options, ignored: list[str]) -> Iterator[tuple[str, str, str, str]]:
    """(path, its folder below the searched folder, "", "") for each file the
    arguments name, and (path, "", problem, reason skipped) for each folder that
    can't be read or is left alone."""
    for argument in arguments:
        if not os.path.isdir(argument):
            if not os.path.lexists(argument) and not is_input(argument):
                yield argument, "", "no such file or folder", ""
            else:
                yield argument, "", "", ""
            continue
        unreadable: list[OSError] = []
        tree = os.path.realpath(argument)
        searched = {_identity(argument)}
        found = False
        for folder, subfolders, names in os.walk(argument, onerror=unreadable.append, followlinks=options.follow_links):
            below = os.path.relpath(folder, argument)
            kept = []
            # Hidden entries include the writer's temporary files.
            for name in sorted(name for name in subfolders if options.recursive and not name.startswith(".")):
                path = os.path.join(folder, name)
                link = os.path.islink(path)
                if link and not options.follow_links:
                    yield path, "", "", "a link to a folder (--follow-links searches it)"
                    continue
                identity = _identity(path)
                if link and identity in searched:
                    covered = f"leads to {os.path.realpath(path)}, which this search covers already; not followed"
                    yield path, "", "", covered
                    continue
                searched.add(identity)
                kept.append(name)
            subfolders[:] = kept
            for name in sorted(names):
                path = os.path.join(folder, name)
                if name.startswith("."):
                    continue
                if is_input(path):
                    found = True
                    outside = _leads_out_of(tree, path, options)
                    if outside:
                        yield path, "", "", outside
                    else:
                        yield path, "" if below == os.curdir else below, "", ""
                else:
                    ignored.append(path)
        for error in unreadable:
            yield error.filename, "", f"cannot read the folder: {error.strerror}", ""
        if not found and not options.recursive and not unreadable and _holds_subtitles_below(argument):
            yield argument, "", "", f"its {INPUTS_NAMED} files are all in subfolders (-r searches them)"


def _leads_out_of(tree: str, path: str, options: Options) -> str:
    """Why a linked file found in a search is not rewritten in place: it leads
    out of the searched tree, to a file the user did not point at."""
    if not options.in_place or options.follow_links or not os.path.islink(path):
        return ""
    target = os.path.realpath(path)
    if os.path.commonpath([tree, target]) == tree:
        return ""
    return f"a link to {target}, outside the folder searched (--follow-links rewrites it there)"


def _identity(folder: str) -> tuple[int, int]:
    try:
        status = os.stat(folder)
    except OSError:
        return (-1, -1)
    return (status.st_dev, status.st_ino)


def _holds_subtitles_below(folder: str) -> bool:
    """Whether a subfolder of `folder` holds a subtitle file; stops at the first."""
    for parent, subfolders, names in os.walk(folder):
        subfolders[:] = [name for name in subfolders if not name.startswith(".")]
        if any(is_input(os.path.join(parent, name)) and not name.startswith(".") for name in names):
            return True
    return False


def _judged(index: int, path: str, below_root: str, options: Options) -> Input:
    folder, name = os.path.split(path)
    if not is_input(path):
        return Input(index, path, skipped=NOT_AN_INPUT)
    if name.startswith(OUTPUT_PREFIX) and not options.include_outputs:
        return Input(index, path, skipped=EARLIER_OUTPUT)
    if not os.path.exists(path):
        return Input(index, path, problem=_missing(path))
    if options.mode == "preview":
        return Input(index, path)
    if options.in_place:
        return _judged_in_place(index, path, options)
    target_folder = os.path.join(options.output_dir, below_root) if options.output_dir is not None else folder
    if options.sidecar and is_matroska(name) and options.mode == "rewrite":
        # Where its sidecar files go, named after it; they are known once its tracks are.
        return Input(index, path, os.path.join(target_folder, os.path.splitext(name)[0]))
    output = os.path.join(target_folder, output_name(name, options.name, options.mode == "export"))
    too_long = _name_too_long(output, "the output name")
    if too_long:
        return Input(index, path, output, problem=too_long)
    if options.skip_existing and os.path.lexists(output):
        return Input(index, path, output, skipped=OUTPUT_EXISTS.format(output))
    if os.path.exists(output) and os.path.samefile(path, output):
        return Input(index, path, output, problem=f"its output {output} is this file; refusing to write over it")
    return Input(index, path, output)


def _judged_in_place(index: int, path: str, options: Options) -> Input:
    # A linked file is rewritten where it lies; the link stays a link.
    output = os.path.realpath(path) if os.path.islink(path) else path
    try:
        mode = stat.S_IMODE(os.stat(output).st_mode)
    except OSError as error:
        return Input(index, path, output, problem=f"cannot read it: {error.strerror}")
    if not mode & 0o222 and not options.force:
        return Input(index, path, output, skipped=f"it is read-only (mode {mode:04o}); --force replaces it")
    if not options.backup:
        return Input(index, path, output)
    backup = output + BACKUP_ENDING
    too_long = _name_too_long(backup, "its backup's name")
    if too_long:
        return Input(index, path, output, problem=f"{too_long} (--no-backup keeps none)")
    if os.path.isfile(backup):
        return Input(index, path, output, backup=backup)
    if os.path.lexists(backup):
        return Input(index, path, output, problem=f"its backup {backup} exists and is not a file; move it away")
    return Input(index, path, output)


def _missing(path: str) -> str:
    try:
        os.stat(path)
    except OSError as error:
        if error.errno == errno.ELOOP:
            return "a link in a loop: following it leads back to itself"
    if os.path.islink(path):
        return f"a link to {os.readlink(path)}, which does not exist"
    return "no such file"


def _name_too_long(path: str, what: str) -> str:
    """Why `path` can't be made, when its name is longer than its folder's file system allows."""
    folder = os.path.dirname(path) or os.curdir
    while not os.path.isdir(folder) and folder != os.path.dirname(folder):
        folder = os.path.dirname(folder) or os.curdir
    try:
        limit = os.pathconf(folder, "PC_NAME_MAX")
    except (OSError, ValueError):
        limit = 255
    size = len(os.fsencode(os.path.basename(path)))
    return f"{what} is {size} bytes; the limit is {limit}" if size > limit else ""
