import sys

from c_quorvant.cli import main

# Worker processes import this module again under another name; only the
# command itself runs main.
if __name__ == "__main__":
    sys.exit(main())
