"""Failures the command line reports as one line for people."""


class CliError(Exception):
    """A failure whose message is complete as it stands; no traceback needed."""

    exit_status = 1


class UsageError(CliError):
    """The arguments leave nothing to do."""

    exit_status = 2


def one_line(message: str) -> str:
    # Library messages (jsoncpp's above all) span several indented lines.
    return " ".join(message.split())
