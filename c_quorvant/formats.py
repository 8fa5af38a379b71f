"""The subtitle formats the package reads, told by the ending of a file's name, and
how an output is named. The API, the command line's prediction and the workers that
write the files all go through here. Pure Python, so `--help` needs no native module."""

import os
import string
from typing import Literal

# The formats a caller may name: "ssa" is read as "ass".
Format = Literal["ass", "ssa", "srt", "vtt"]
# The formats as read and reported, which are also the tag syntaxes.
Label = Literal["ass", "srt", "vtt"]
LABELS: tuple[Label, ...] = ("ass", "srt", "vtt")

# In any letter case: Windows tools write EP2.SRT as often as ep2.srt.
ENDINGS: dict[str, Format] = {".ass": "ass", ".ssa": "ass", ".srt": "srt", ".vtt": "vtt"}
ENDINGS_NAMED = ", ".join(list(ENDINGS)[:-1]) + " or " + list(ENDINGS)[-1]
NOT_A_SUBTITLE = f"not an {ENDINGS_NAMED} file"

OUTPUT_PREFIX = "[Quorvanted] "
# The module's rule, for a file name: the prefix, then the name with its output's ending.
DEFAULT_NAME = OUTPUT_PREFIX + "{name}"
FIELDS = ("stem", "ext", "name")
EXPORT_ENDING = ".json"


def format_of(name: str | bytes) -> Format | None:
    """The format the ending of `name` (a file name or path) says, or None."""
    ending = os.fsdecode(name)[-4:]
    return ENDINGS.get(ending.lower()) if ending.isascii() else None


def is_subtitle(name: str | bytes) -> bool:
    return format_of(name) is not None


def label(format: str) -> Label:
    """The format as read and reported: "ssa" is ASS. ValueError for an unknown one."""
    if format == "ssa":
        return "ass"
    if format not in LABELS:
        raise ValueError(f'format is "ass", "ssa", "srt" or "vtt", not {format!r}')
    return format


def text_label(format: str) -> str:
    """What one text of the format is called: ASS has events, the others cues."""
    if format == "matroska":
        # A Matroska file's change keys start with the track's id: "track 2 event 15".
        return "track"
    return "event" if format in ("ass", "ssa") else "cue"


def check_template(template: str) -> None:
    """ValueError with a sentence for a template that can't name every file."""
    try:
        parsed = list(string.Formatter().parse(template))
    except ValueError as error:
        raise ValueError(f"the name template {template!r} is malformed: {error}") from None
    for _literal, field, formatting, conversion in parsed:
        if field is None:
            continue
        if field not in FIELDS or formatting or conversion:
            raise ValueError(
                f"the name template {template!r} holds {{{field}}}; it may hold only {{stem}}, {{ext}} and {{name}}"
            )
    if not any(field in ("stem", "name") for _literal, field, _formatting, _conversion in parsed):
        raise ValueError(
            f"the name template {template!r} holds neither {{stem}} nor {{name}}, so every file gets one name"
        )
    if "/" in template:
        raise ValueError(f"the name template {template!r} holds a '/'; it names a file, -o names the folder")


def output_name(name: str, template: str = DEFAULT_NAME, export: bool = False) -> str:
    """The output's name for the input file `name`: {stem} is `name` up to its last '.',
    {ext} the output's ending (.json for an export, else the input's own, in its
    letter case), {name} the two together. The default template gives the name the
    module's passes write for a file name."""
    stem, dot, own = name.rpartition(".")
    if not dot:
        stem, own = name, ""
    ext = EXPORT_ENDING if export else dot + own
    return template.format(stem=stem, ext=ext, name=stem + ext)


# Containers whose text tracks the passes rewrite, through c_quorvant.matroska.
MATROSKA_ENDINGS = (".mkv", ".mka", ".mks")
MATROSKA_ENDINGS_NAMED = ", ".join(MATROSKA_ENDINGS[:-1]) + " or " + MATROSKA_ENDINGS[-1]


# What the command line works on: subtitle files, and Matroska files for their text tracks.
INPUTS_NAMED = ", ".join(ENDINGS) + f" or Matroska ({', '.join(MATROSKA_ENDINGS)})"
NOT_AN_INPUT = f"not an {INPUTS_NAMED} file"


def is_matroska(name: str | bytes) -> bool:
    ending = os.fsdecode(name)[-4:]
    return ending.isascii() and ending.lower() in MATROSKA_ENDINGS


def is_input(name: str | bytes) -> bool:
    return is_subtitle(name) or is_matroska(name)
