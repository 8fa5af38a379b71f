"""Runs the export and the rewrite pass over the sample files in the working directory,
then the library's rewrite with a rule option the module's lists can't hold."""

import json
import sys
from pathlib import Path

from c_quorvant import WordList, preview
from c_quorvant.modify_subs import modify_subs_py, overwrite_subs

WORDS = "honorifics.json"
SAMPLES = ["club-room.ass", "evening-lesson.srt"]


def show(title, lines):
    print(f"  {title}")
    for line in lines:
        print(f"    {line}")


def main():
    for sample in SAMPLES:
        print(f"{sample}:")
        document = modify_subs_py(sample, WORDS)
        copy = overwrite_subs(sample, WORDS)
        if not document or not copy:
            sys.exit(f"the passes reported a failure for {sample}")
        print(f"  export  -> {document}")
        print(f"  rewrite -> {copy}")
        exported = json.loads(Path(document).read_text(encoding="utf-8"))
        show("exported texts:", [f"{key}: {text}" for key, text in list(exported.items())[:3]])
        original = Path(sample).read_text(encoding="utf-8").splitlines()
        rewritten = Path(copy).read_text(encoding="utf-8").splitlines()
        changed = [line for line in rewritten if line not in original]
        show("rewritten lines:", changed[:3])
    # The module writes "senior" for "Senpai"; the library's per-rule options keep the
    # match's case, so a sentence still starts with a capital.
    bundled = WordList.load(WORDS)
    words = WordList({**dict(bundled), "\\bsenpai\\b": {"replace": "senior", "case": "preserve"}})
    for sample in SAMPLES:
        changes = preview(sample, words).changes
        show(
            f"{sample} with the senpai rule keeping its case:",
            [" ".join(after.splitlines()) for _, _, after in changes][:3],
        )


if __name__ == "__main__":
    main()
