"""The checks that let --in-place replace a user's files without ever losing one: a
lock per folder, a backup that is never written over, and a file replaced only if
it is still the one that was read."""

import contextlib
import fcntl
import grp
import hashlib
import json
import os
import pwd
import shutil
import stat
import time
from collections.abc import Callable, Iterable
from dataclasses import dataclass
from typing import IO

from c_quorvant.cli.errors import CliError
from c_quorvant.cli.report import shown

TEMPORARY_PREFIX = ".quorvant-"
# A run's own entries live for one file's pass; a day-old one was left by a run that was killed.
STALE_AFTER = 24 * 60 * 60
_CAP_FOWNER = 3
APPEARED = "its backup {} appeared while it was being rewritten; not replaced"
CHANGED = "changed while it was being rewritten; not replaced"
DELETED = "deleted while it was being rewritten; not brought back"


class NotReplaced(Exception):
    """The file is left as it is; the message says why, in the report's words."""


class FolderLocks:
    """An exclusive flock on each folder an --in-place run replaces files in, held
    for the whole run. It is taken on the folder itself, so it leaves nothing
    behind, and the kernel drops it when the process ends however it ends."""

    def __init__(self) -> None:
        self._held: dict[str, int] = {}  # by the folder's real path

    def take(self, folders: Iterable[str], wait: bool, waiting: Callable[[str], None]) -> bool:
        """Locks every folder in `folders` (as the user sees them) not held yet.
        Without `wait` a folder another run holds is a CliError; True if it waited."""
        waited = False
        # One order for every run, so two runs that wait can't wait on each other.
        named = {os.path.realpath(folder or os.curdir): shown(folder or os.curdir) for folder in folders}
        for real, name in sorted(named.items()):
            if real in self._held:
                continue
            try:
                descriptor = os.open(real, os.O_RDONLY | os.O_DIRECTORY | os.O_CLOEXEC)
            except OSError as error:
                raise CliError(f"cannot lock {name} for --in-place: {error.strerror}") from None
            try:
                try:
                    fcntl.flock(descriptor, fcntl.LOCK_EX | fcntl.LOCK_NB)
                except BlockingIOError:
                    if not wait:
                        raise CliError(f"another quorvant run is working in {name} (--wait waits for it)") from None
                    waiting(name)
                    fcntl.flock(descriptor, fcntl.LOCK_EX)
                    waited = True
            except BaseException:
                os.close(descriptor)
                raise
            self._held[real] = descriptor
        return waited

    def release(self) -> None:
        for descriptor in self._held.values():
            os.close(descriptor)
        self._held.clear()


def remove_stale(folder: str) -> None:
    """Removes the temporary entries a killed run left in `folder` (a day old or
    more; a live run's are minutes old at most)."""
    oldest = time.time() - STALE_AFTER
    with contextlib.suppress(OSError), os.scandir(folder) as entries:
        for entry in entries:
            if not entry.name.startswith(TEMPORARY_PREFIX):
                continue
            with contextlib.suppress(OSError):
                if entry.stat(follow_symlinks=False).st_mtime >= oldest:
                    continue
                if entry.is_dir(follow_symlinks=False):
                    shutil.rmtree(entry.path, ignore_errors=True)
                else:
                    os.unlink(entry.path)


def same_file(now: os.stat_result, read: os.stat_result) -> bool:
    """Whether `now` is the file `read` was taken of, not written to since."""
    return (now.st_dev, now.st_ino, now.st_size, now.st_mtime_ns) == (
        read.st_dev,
        read.st_ino,
        read.st_size,
        read.st_mtime_ns,
    )


def require_unchanged(path: str, read: os.stat_result) -> None:
    try:
        now = os.lstat(path)
    except FileNotFoundError:
        raise NotReplaced(DELETED) from None
    if not same_file(now, read):
        raise NotReplaced(CHANGED)


def same_bytes(first: str, second: str) -> bool:
    if os.path.getsize(first) != os.path.getsize(second):
        return False
    with open(first, "rb") as one, open(second, "rb") as other:
        while True:
            block = one.read(1 << 20)
            if block != other.read(1 << 20):
                return False
            if not block:
                return True


def sha256_of(path: str) -> str:
    with open(path, "rb") as file:
        return hashlib.file_digest(file, "sha256").hexdigest()


def require_replaceable(path: str, read: os.stat_result) -> None:
    """In a sticky folder (/tmp, a shared drop) only a file's owner, the folder's
    or root may rename over it: refused up front, before a backup is made that
    could then not be taken back."""
    folder = os.path.dirname(path) or os.curdir
    status = os.stat(folder)
    if status.st_mode & stat.S_ISVTX and os.geteuid() not in (read.st_uid, status.st_uid) and not _overrides_owners():
        raise NotReplaced(
            f"{folder} is a shared folder (sticky bit) and the file belongs to {_user(read.st_uid)}: "
            "only they can replace it; not replaced"
        )


def keep_owner(path: str, read: os.stat_result) -> bool:
    """Gives `path` the owner and group of the file `read`, as far as the runner may;
    whether it has them now."""
    if (os.lstat(path).st_uid, os.lstat(path).st_gid) == (read.st_uid, read.st_gid):
        return True
    try:
        os.chown(path, read.st_uid, read.st_gid, follow_symlinks=False)
        return True
    except PermissionError:
        # A user may still give the file one of their own groups.
        with contextlib.suppress(PermissionError):
            os.chown(path, -1, read.st_gid, follow_symlinks=False)
    return False


@dataclass(frozen=True)
class Backup:
    status: os.stat_result  # of the backup made
    copied: str = ""  # why it is a copy, not the same file; "" for the same file
    owner_kept: bool = True


def keep_original(path: str, backup: str, read: os.stat_result, scratch: str) -> Backup:
    """Makes `backup` the file `path` as read: the same file (a hard link), or where
    the link is refused a copy with its owner, group, bits and times. Neither way
    can write over an existing backup."""
    try:
        os.link(path, backup, follow_symlinks=False)
    except FileExistsError:
        raise NotReplaced(APPEARED.format(backup)) from None
    except FileNotFoundError:
        raise NotReplaced(DELETED) from None
    except OSError as refused:
        # Another user's file under fs.protected_hardlinks, or a file system without links.
        return _keep_a_copy(path, backup, read, scratch, refused.strerror or str(refused))
    made = os.lstat(backup)
    if not same_file(made, read):
        os.unlink(backup)
        raise NotReplaced(CHANGED)
    return Backup(made)


def _keep_a_copy(path: str, backup: str, read: os.stat_result, scratch: str, refused: str) -> Backup:
    copy = os.path.join(scratch, "original")
    with open(path, "rb") as source:
        if not same_file(os.fstat(source.fileno()), read):
            raise NotReplaced(CHANGED)
        with open(copy, "xb") as target:
            shutil.copyfileobj(source, target)
    owner_kept = keep_owner(copy, read)
    os.chmod(copy, stat.S_IMODE(read.st_mode))
    os.utime(copy, ns=(read.st_atime_ns, read.st_mtime_ns))
    # Linked into place under the final name, so it is never seen partial and never replaces one.
    try:
        os.link(copy, backup)
    except FileExistsError:
        raise NotReplaced(APPEARED.format(backup)) from None
    return Backup(os.lstat(backup), refused, owner_kept)


def owner_note(path: str, read: os.stat_result, new_owner_kept: bool, backup: Backup | None) -> str:
    """What the report line says of owners and of a backup that is a copy; "" when
    both are as they were."""
    notes = []
    if backup and backup.copied:
        notes.append(f"its backup is a copy, as linking it was refused ({backup.copied})")
    kept = {"the new file": new_owner_kept, "the backup": not backup or backup.owner_kept}
    lost = [what for what, owner_kept in kept.items() if not owner_kept]
    if lost:
        now = os.lstat(path)
        notes.append(
            f"{' and '.join(lost)} belong{'s' if len(lost) == 1 else ''} to {_owner(now.st_uid, now.st_gid)}, "
            f"not {_owner(read.st_uid, read.st_gid)}: giving a file away takes root"
        )
    return "; ".join(notes)


def remove_own_backup(backup: str, made: os.stat_result) -> None:
    """Takes back a backup this run made, if it is still the one it made."""
    with contextlib.suppress(OSError):
        now = os.lstat(backup)
        if (now.st_dev, now.st_ino) == (made.st_dev, made.st_ino):
            os.unlink(backup)


class ReplaceLog:
    """--log FILE: one JSON object a line for each file replaced, written as it is."""

    def __init__(self, path: str) -> None:
        try:
            self._file: IO[str] = open(path, "a", encoding="utf-8")  # noqa: SIM115 (closed by close)
        except OSError as error:
            raise CliError(f"cannot open the log {path}: {error.strerror}") from None
        self._path = path

    def add(self, file: str, backup: str | None, old_sha256: str, new_sha256: str) -> None:
        entry = {"file": file, "backup": backup, "old_sha256": old_sha256, "new_sha256": new_sha256}
        self._file.write(json.dumps(entry, ensure_ascii=False) + "\n")
        self._file.flush()

    def close(self) -> None:
        self._file.close()


def _overrides_owners() -> bool:
    """Whether the process holds CAP_FOWNER, as root does unless it dropped it."""
    try:
        with open("/proc/self/status", encoding="ascii") as status:
            effective = next(line for line in status if line.startswith("CapEff:"))
    except (OSError, StopIteration):
        return os.geteuid() == 0
    return bool(int(effective.split()[1], 16) & 1 << _CAP_FOWNER)


def _user(uid: int) -> str:
    try:
        return pwd.getpwuid(uid).pw_name
    except KeyError:
        return f"user {uid}"


def _owner(uid: int, gid: int) -> str:
    try:
        group = grp.getgrgid(gid).gr_name
    except KeyError:
        group = str(gid)
    return f"{_user(uid)}:{group}"
