"""The subtitle formats the package reads, told by the ending of a file's name, and
how an output is named. The API, the command line's prediction and the workers that
write the files all go through here. Pure Python, so `--help` needs no native module."""

import os
import re
import string
from typing import Literal

# The formats a caller may name: "ssa" is read as "ass".
Format = Literal["ass", "ssa", "srt", "vtt", "sami", "ttml", "microdvd", "mpl2"]
# The formats as read and reported, which are also the tag syntaxes.
Label = Literal["ass", "srt", "vtt", "sami", "ttml", "microdvd", "mpl2"]
LABELS: tuple[Label, ...] = ("ass", "srt", "vtt", "sami", "ttml", "microdvd", "mpl2")

# In any letter case: Windows tools write EP2.SRT as often as ep2.srt.
ENDINGS: dict[str, Format] = {
    ".ass": "ass",
    ".ssa": "ass",
    ".srt": "srt",
    ".vtt": "vtt",
    ".smi": "sami",
    ".sami": "sami",
    ".ttml": "ttml",
    ".dfxp": "ttml",
    ".sub": "microdvd",
}
# Endings that hold a subtitle only when the content shows it: most .xml and .txt files are something else.
CONTENT_ENDINGS: dict[str, Format] = {".xml": "ttml", ".txt": "mpl2"}
# What a format's file is named when only its format is known (standard input).
FORMAT_ENDINGS: dict[str, str] = {
    "ass": ".ass",
    "ssa": ".ssa",
    "srt": ".srt",
    "vtt": ".vtt",
    "sami": ".smi",
    "ttml": ".ttml",
    "microdvd": ".sub",
    "mpl2": ".txt",
}
ENDINGS_NAMED = ", ".join(list(ENDINGS)[:-1]) + " or " + list(ENDINGS)[-1]
NOT_A_SUBTITLE = f"not an {ENDINGS_NAMED} file, a TTML .xml or an MPL2 .txt"
FORMATS_NAMED = ", ".join(f'"{name}"' for name in ("ass", "ssa", *LABELS[1:-1])) + f' or "{LABELS[-1]}"'
IMAGE_SUBTITLE = "an image subtitle (VobSub): it holds pictures of text, no text to rewrite"
# A look at a file's start decides what an .xml or .txt holds.
_SNIFF_BYTES = 4096
_TTML_ROOT = re.compile(rb"^(?:\xef\xbb\xbf)?\s*(?:<\?xml[^>]*>\s*)?(?:<!--.*?-->\s*)*<(?:[\w.-]+:)?tt[\s>/]", re.S)
_MPL2_LINE = re.compile(rb"^(?:\xef\xbb\xbf)?\[\d+\]\[\d*\]")
# An MPEG program stream pack header: a VobSub .sub is one.
_MPEG_PACK = b"\x00\x00\x01\xba"

OUTPUT_PREFIX = "[Quorvanted] "
# The module's rule, for a file name: the prefix, then the name with its output's ending.
DEFAULT_NAME = OUTPUT_PREFIX + "{name}"
FIELDS = ("stem", "ext", "name")
EXPORT_ENDING = ".json"


def _ending(name: str | bytes) -> str:
    base = os.path.basename(os.fsdecode(name))
    ending = base[base.rfind(".") :] if "." in base else ""
    return ending.lower() if ending.isascii() else ""


def format_of(name: str | bytes) -> Format | None:
    """The format `name` (a file name or path) holds: its ending's, or for an .xml
    or .txt file the one its start shows (a TTML root, MPL2 lines); None otherwise."""
    ending = _ending(name)
    if ending in ENDINGS:
        return ENDINGS[ending]
    if ending not in CONTENT_ENDINGS:
        return None
    start = _start_of(name)
    if ending == ".xml":
        return "ttml" if _TTML_ROOT.match(start) else None
    # A line the look cut short is left out.
    lines = start.splitlines()[: -1 if len(start) == _SNIFF_BYTES else None]
    lines = [line for line in lines if line.strip()]
    return "mpl2" if lines and all(_MPL2_LINE.match(line) for line in lines) else None


def is_subtitle(name: str | bytes) -> bool:
    return format_of(name) is not None


def image_subtitle(name: str | bytes) -> bool:
    """Whether `name` is a VobSub .sub: MPEG packets, or an .idx beside it."""
    if _ending(name) != ".sub":
        return False
    stem = os.path.splitext(os.fsdecode(name))[0]
    return _start_of(name).startswith(_MPEG_PACK) or any(os.path.exists(stem + idx) for idx in (".idx", ".IDX"))


def _start_of(name: str | bytes) -> bytes:
    try:
        with open(name, "rb") as file:
            return file.read(_SNIFF_BYTES)
    except OSError:
        return b""


def label(format: str) -> Label:
    """The format as read and reported: "ssa" is ASS. ValueError for an unknown one."""
    if format == "ssa":
        return "ass"
    if format not in LABELS:
        raise ValueError(f"format is {FORMATS_NAMED}, not {format!r}")
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
NOT_AN_INPUT = f"not an {INPUTS_NAMED} file, a TTML .xml or an MPL2 .txt"


def is_matroska(name: str | bytes) -> bool:
    ending = os.fsdecode(name)[-4:]
    return ending.isascii() and ending.lower() in MATROSKA_ENDINGS


def is_input(name: str | bytes) -> bool:
    return is_subtitle(name) or is_matroska(name)
