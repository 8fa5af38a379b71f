"""Runs the module's export and rewrite passes over the sample files in the working directory,
then the library's preview with the bundled list, whose rule options the module can't read."""

import json
import sys
from pathlib import Path

from c_quorvant import WordList, preview
from c_quorvant.modify_subs import modify_subs_py, overwrite_subs

WORDS = "honorifics.json"
# The module reads only plain replacements.
MODULE_WORDS = "plain-honorifics.json"
SAMPLES = ["club-room.ass", "evening-lesson.srt"]


def show(title, lines):
    print(f"  {title}")
    for line in lines:
        print(f"    {line}")


def main():
    for sample in SAMPLES:
        print(f"{sample}:")
        document = modify_subs_py(sample, MODULE_WORDS)
        copy = overwrite_subs(sample, MODULE_WORDS)
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
    # The module writes "senior" for "Senpai"; the bundled list's options keep the match's
    # case, so a sentence still starts with a capital.
    words = WordList.load(WORDS)
    for sample in SAMPLES:
        changes = preview(sample, words).changes
        show(
            f"{sample} through the library, rules keeping the case of what they replace:",
            [" ".join(after.splitlines()) for _, _, after in changes][:3],
        )


if __name__ == "__main__":
    main()
