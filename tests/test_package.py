import importlib.metadata

import c_quorvant


def test_version_matches_installed_metadata():
    assert importlib.metadata.version("c_quorvant") == c_quorvant.__version__

