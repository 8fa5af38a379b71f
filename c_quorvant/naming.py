"""How outputs are named: one rule for the API, the command line's prediction and
the workers that write the files. Pure Python, so `--help` needs no native module."""

import string

DEFAULT_NAME = "[Quorvanted] {name}"
FIELDS = ("stem", "ext", "name")


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


def output_name(name: str, template: str = DEFAULT_NAME, ending: str | None = None) -> str:
    """The output's name for the input file `name`: {stem} is `name` up to its last '.',
    {ext} the output's ending (`ending`, else the input's own, in its letter case),
    {name} the two together. The default gives the module's rule."""
    stem, dot, own = name.rpartition(".")
    if not dot:
        stem, own = name, ""
    ext = ending if ending is not None else (dot + own)
    return template.format(stem=stem, ext=ext, name=stem + ext)
