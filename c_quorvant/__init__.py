"""Rewrite the dialogue of subtitle files with a replacement word list."""

__version__ = "0.1.0"
