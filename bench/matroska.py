"""Time and peak memory of `quorvant rewrite` on big Matroska files, against
`mkvmerge -o copy.mkv input.mkv`, the floor any remux pays.

Each file is generated in the folder given (default: a temporary folder beside
this checkout's build/), from noise audio and one ASS track the word list changes,
and deleted after its run.

    .venv/bin/python bench/matroska.py --sizes 1 4 --folder /big/scratch
"""

import argparse
import math
import os
import struct
import subprocess
import sys
import tempfile
import time
import wave

EVENTS = 2000


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--sizes", type=float, nargs="+", default=[1, 4], help="file sizes in GB")
    parser.add_argument("--folder", default=None, help="where the files are made (needs 3x the largest size)")
    parser.add_argument("--rounds", type=int, default=2, help="runs of each command, taking turns; the best counts")
    arguments = parser.parse_args()
    quorvant = os.path.join(os.path.dirname(sys.executable), "quorvant")
    print(
        f"{'size':>6}  {'mkvmerge copy':>14}  {'quorvant rewrite':>17}  {'ratio':>5}  {'peak RSS copy / rewrite':>24}"
    )
    for size in arguments.sizes:
        with tempfile.TemporaryDirectory(prefix="quorvant-bench-", dir=arguments.folder) as folder:
            source = _generate(folder, int(size * (1 << 30)))
            words = os.path.join(folder, "words.json")
            with open(words, "w", encoding="utf-8") as file:
                file.write('{"(\\\\w+)-san": "$1"}')
            copy = os.path.join(folder, "copy.mkv")
            rewritten = os.path.join(folder, "[Quorvanted] input.mkv")
            commands = {
                "copy": (["mkvmerge", "-q", "-o", copy, source], copy),
                "rewrite": ([quorvant, "rewrite", source, "-w", words, "-q"], rewritten),
            }
            measured: dict[str, list[tuple[float, float]]] = {name: [] for name in commands}
            for turn in range(arguments.rounds):
                # Taking turns at going first, so neither always finds the file in the page cache.
                for name in list(commands)[:: 1 if turn % 2 == 0 else -1]:
                    command, output = commands[name]
                    measured[name].append(_measured(command))
                    os.unlink(output)
            (floor, floor_memory), (ours, memory) = min(measured["copy"]), min(measured["rewrite"])
            print(
                f"{size:>5g}G  {floor:>12.1f} s  {ours:>15.1f} s  {ours / floor:>5.2f}  "
                f"{floor_memory:>10.0f} MB / {memory:>6.0f} MB"
            )


def _measured(command: list[str]) -> tuple[float, float]:
    """Wall time to the output on disk, and the peak resident memory of the command's biggest process
    (its own or a program it ran), in a child of its own so no other run counts."""
    # Each run pays for writing its own output to the disk, not for the one before.
    os.sync()
    started = time.monotonic()
    done = subprocess.run([sys.executable, "-c", _PEAK, *command], check=True, capture_output=True, text=True)
    os.sync()
    return time.monotonic() - started, int(done.stdout.split()[-1]) / 1024


_PEAK = (
    "import resource, subprocess, sys\n"
    "subprocess.run(sys.argv[1:], check=True, stdout=subprocess.DEVNULL)\n"
    "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)"
)


def _generate(folder: str, size: int) -> str:
    """A Matroska file of about `size` bytes: 48 kHz stereo noise-free PCM, chunked
    so that no step holds it whole, and an ASS track of EVENTS events."""
    audio = os.path.join(folder, "audio.wav")
    frames_per_second = 48000
    seconds = size // (frames_per_second * 4)
    chunk = b"".join(
        struct.pack("<hh", int(9000 * math.sin(i / 7)), int(9000 * math.cos(i / 11))) for i in range(frames_per_second)
    )
    with wave.open(audio, "wb") as file:
        file.setnchannels(2)
        file.setsampwidth(2)
        file.setframerate(frames_per_second)
        for _ in range(seconds):
            file.writeframesraw(chunk)
    subtitles = os.path.join(folder, "dialogue.ass")
    step = max(1, seconds * 100 // EVENTS)
    with open(subtitles, "w", encoding="utf-8") as file:
        file.write("[Script Info]\nScriptType: v4.00+\n\n[Events]\n")
        file.write("Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n")
        for event in range(EVENTS):
            start = event * step
            file.write(f"Dialogue: 0,{_time(start)},{_time(start + step)},Default,,0,0,0,,Line {event}, Tanaka-san\n")
    source = os.path.join(folder, "input.mkv")
    subprocess.run(["mkvmerge", "-q", "-o", source, audio, "--language", "0:en", subtitles], check=True)
    os.unlink(audio)
    os.unlink(subtitles)
    return source


def _time(centiseconds: int) -> str:
    hours, rest = divmod(centiseconds, 360000)
    minutes, rest = divmod(rest, 6000)
    return f"{hours}:{minutes:02}:{rest // 100:02}.{rest % 100:02}"


if __name__ == "__main__":
    main()
