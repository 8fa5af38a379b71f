"""The `quorvant` program, also run as `python -m c_quorvant`."""

# The C module under `signal`: `signal` would first import enum, functools and
# collections, the longest part of the start, during which Ctrl-C would be a traceback.
import _signal  # type: ignore[import-not-found]
import sys
from types import FrameType

_STOPS = (_signal.SIGINT, _signal.SIGTERM)


class _Stopped(BaseException):
    def __init__(self, number: int) -> None:
        super().__init__(number)
        self.number = number


def main() -> int:
    # Loading the command line takes a good part of a second: a Ctrl-C meanwhile is
    # one line too, not a traceback from whichever import it lands in.
    for number in _STOPS:
        _signal.signal(number, _stop)
    try:
        from c_quorvant.cli import main as run

        status = run()
        # The run has told its outcome: a Ctrl-C from here on changes nothing.
        _ignore_stops()
    except _Stopped as stop:
        status = 128 + stop.number
        print("quorvant: interrupted", file=sys.stderr)
    return status


def _ignore_stops() -> None:
    for number in _STOPS:
        _signal.signal(number, _signal.SIG_IGN)


def _stop(number: int, _frame: FrameType | None) -> None:
    _ignore_stops()
    raise _Stopped(number)


# Worker processes import this module again under another name; only the
# command itself runs main.
if __name__ == "__main__":
    sys.exit(main())
