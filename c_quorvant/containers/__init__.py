"""Subtitle tracks inside container files, reached through the container's own
tools: identified, extracted into loose files for the passes, and put back."""
