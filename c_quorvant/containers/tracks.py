"""A Matroska file's text tracks as mkvmerge -J describes them, which of them a
--tracks choice takes, and the names of their sidecar files."""

import re
from collections import defaultdict
from dataclasses import dataclass
from typing import Any

from c_quorvant.formats import Format

# The text codecs, and the loose format each is extracted as.
TEXT_CODECS: dict[str, Format] = {
    "S_TEXT/ASS": "ass",
    "S_TEXT/SSA": "ssa",
    "S_TEXT/UTF8": "srt",
    "S_TEXT/WEBVTT": "vtt",
}
ALL = "all"
# What no file name may hold, and what a media server would read as a separator.
_UNSAFE = re.compile(r'[\x00-\x1f\x7f/\\:*?"<>|.]+')


@dataclass(frozen=True)
class Track:
    """A text subtitle track: `id` as mkvmerge -J numbers the file's tracks,
    `codec` the Matroska codec ID, `format` the loose file it is extracted as,
    `language` the legacy code and `language_ietf` the IETF tag (None when the
    file has none), `name` the track's name ("" for none), and its flags."""

    id: int
    codec: str
    format: Format
    language: str
    language_ietf: str | None
    name: str
    default: bool
    forced: bool
    enabled: bool
    hearing_impaired: bool
    visual_impaired: bool
    original: bool
    commentary: bool
    uid: int = 0

    @property
    def tag(self) -> str:
        """The language as players name it: the IETF tag, else the legacy code."""
        return self.language_ietf or self.language


def text_tracks(identified: dict[str, Any]) -> list[Track]:
    tracks = []
    for track in identified.get("tracks", []):
        properties = track.get("properties", {})
        format = TEXT_CODECS.get(properties.get("codec_id", ""))
        if track.get("type") != "subtitles" or format is None:
            continue
        tracks.append(
            Track(
                track["id"],
                properties["codec_id"],
                format,
                properties.get("language", "und"),
                properties.get("language_ietf"),
                properties.get("track_name", ""),
                properties.get("default_track", True),
                properties.get("forced_track", False),
                properties.get("enabled_track", True),
                properties.get("flag_hearing_impaired", False),
                properties.get("flag_visual_impaired", False),
                properties.get("flag_original", False),
                properties.get("flag_commentary", False),
                properties.get("uid", 0),
            )
        )
    return tracks


def parse_choice(choice: str) -> tuple[str, ...]:
    """The items of a --tracks CHOICE: ids, language codes, or "all". ValueError
    for an empty item."""
    items = tuple(item.strip() for item in choice.split(","))
    if not choice.strip() or not all(items):
        raise ValueError(f"--tracks {choice!r}: give track ids, language codes or {ALL}, separated by commas")
    return items


def chosen(tracks: list[Track], choice: str) -> list[Track]:
    """The tracks CHOICE names: an id, a language (legacy code, IETF tag or its
    language part, in any letter case), or all of them."""
    items = parse_choice(choice)
    if ALL in items:
        return list(tracks)
    ids = {int(item) for item in items if item.isdigit()}
    languages = {item.lower() for item in items if not item.isdigit()}
    return [
        track
        for track in tracks
        if track.id in ids or {track.language.lower(), track.tag.lower(), track.tag.split("-")[0].lower()} & languages
    ]


def sidecar_names(stem: str, tracks: list[Track]) -> dict[int, str]:
    """Each track's sidecar file name beside the video `stem`: STEM.LANG[.sdh][.forced].EXT,
    the way media servers match them, with the track's name (or else "track" and
    its id) after STEM where two tracks would share a name."""
    plain = {track.id: _name(stem, "", track) for track in tracks}
    sharing: dict[str, list[Track]] = defaultdict(list)
    for track in tracks:
        sharing[plain[track.id]].append(track)
    names = dict(plain)
    for group in sharing.values():
        if len(group) < 2:
            continue
        titles = [_safe(track.name) for track in group]
        for track, title in zip(group, titles, strict=True):
            names[track.id] = _name(stem, title if title and titles.count(title) == 1 else f"track{track.id}", track)
    return names


def _name(stem: str, title: str, track: Track) -> str:
    parts = [title] if title else []
    if track.tag.lower() != "und":
        parts.append(track.tag)
    parts += [mark for mark, on in (("sdh", track.hearing_impaired), ("forced", track.forced)) if on]
    return ".".join([stem, *parts]) + "." + track.format


def _safe(name: str) -> str:
    return " ".join(_UNSAFE.sub(" ", name).split())
