import json
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

DATA_DIR = Path(__file__).parent / "data"


def run_python(code):
    """Runs `code` in a child interpreter, so that a crash fails one test instead of the run."""
    # -P: the source tree in the working directory must not shadow the installed package.
    return subprocess.run(
        [sys.executable, "-P", "-c", textwrap.dedent(code)], capture_output=True, text=True, timeout=120
    )


def quorvant(*args, cwd):
    """The command line in a child process, run as `python -m c_quorvant`."""
    return subprocess.run(
        [sys.executable, "-m", "c_quorvant", *args], cwd=cwd, capture_output=True, text=True, timeout=120
    )


@pytest.fixture
def workdir(tmp_path, monkeypatch):
    """A private, empty working directory: the passes name their outputs relative to it."""
    monkeypatch.chdir(tmp_path)
    return tmp_path


@pytest.fixture
def write_words(workdir):
    """Writes a replacement word list into the working directory and returns its name."""

    def write(rules, name="words.json"):
        (workdir / name).write_text(json.dumps(rules, ensure_ascii=False), encoding="utf-8")
        return name

    return write


@pytest.fixture
def snapshot(workdir):
    """Every file under the working directory with its bytes, to show what a call changed."""

    def take():
        return {str(p.relative_to(workdir)): p.read_bytes() for p in sorted(workdir.rglob("*")) if p.is_file()}

    return take


class Review:
    """A `quorvant review` run in a child process, and plain requests to it."""

    def __init__(self, process, url):
        self.process = process
        self.url = url
        self.port = int(url.split(":")[2].split("/")[0])
        self.token = url.partition("token=")[2]

    def request(self, method, path, body=None, headers=None):
        """(status, body) of one request with the cookie and Host a visit gives,
        `headers` replacing any of them."""
        import http.client

        given = {"Host": f"127.0.0.1:{self.port}", "Cookie": f"quorvant_review={self.token}"}
        given.update(headers or {})
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=30)
        try:
            connection.request(method, path, body, {name: value for name, value in given.items() if value is not None})
            response = connection.getresponse()
            return response.status, response.read().decode()
        finally:
            connection.close()

    def post(self, path, document):
        headers = {"Content-Type": "application/json", "X-Review-Token": self.token}
        return self.request("POST", path, json.dumps(document), headers)


@pytest.fixture
def start_review(workdir):
    """Starts `quorvant review ARGS --no-browser` in the working directory; each run
    still going at the end is interrupted as Ctrl-C would."""
    import signal

    runs = []

    def start(*args):
        process = subprocess.Popen(
            [sys.executable, "-P", "-m", "c_quorvant", "review", *args, "--no-browser"],
            cwd=workdir,
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            text=True,
        )
        runs.append(process)
        line = process.stdout.readline()
        assert line.startswith("Review at http://127.0.0.1:"), (line, process.stderr.read())
        return Review(process, line.split()[-1])

    yield start
    for process in runs:
        if process.poll() is None:
            process.send_signal(signal.SIGINT)
        process.wait(timeout=30)
        process.stdout.close()
        process.stderr.close()
