import importlib.metadata
import os
import shutil
import subprocess
import sys
from pathlib import Path

import c_quorvant

SOURCE_DIR = Path(__file__).parents[1]


def test_version_matches_installed_metadata():
    assert importlib.metadata.version("c_quorvant") == c_quorvant.__version__


def test_installed_package_carries_its_license():
    distribution = importlib.metadata.distribution("c_quorvant")
    licenses = [path for path in distribution.files if path.name == "LICENSE"]
    assert len(licenses) == 1 and "MIT License" in licenses[0].read_text()
    assert "License :: OSI Approved :: MIT License" in distribution.metadata.get_all("Classifier")


def test_build_without_the_libraries_names_the_debian_packages(tmp_path):
    # pkg-config finds nothing in an empty search path, as on a system without the -dev packages.
    cmake = shutil.which("cmake", path=str(Path(sys.executable).parent)) or shutil.which("cmake")
    configure = subprocess.run(
        [cmake, "-S", str(SOURCE_DIR), "-B", str(tmp_path / "build")],
        env={**os.environ, "PKG_CONFIG_LIBDIR": str(tmp_path), "PKG_CONFIG_PATH": ""},
        capture_output=True,
        text=True,
        timeout=120,
    )
    assert configure.returncode != 0
    assert "apt-get install libass-dev libjsoncpp-dev" in " ".join(configure.stderr.split())


def test_the_public_names_are_shown_and_every_exception_exported():
    import inspect
    import pydoc

    from c_quorvant import errors

    exceptions = {name for name, value in vars(errors).items() if isinstance(value, type)}
    assert exceptions <= set(c_quorvant.__all__) <= set(dir(c_quorvant))
    shown = pydoc.render_doc(c_quorvant, renderer=pydoc.plaintext)
    assert all(f"class {name}(" in shown for name in exceptions)
    # A "\n" written unescaped in a docstring breaks its line in two.
    assert all('"\\n"' in inspect.getdoc(getattr(c_quorvant, name)) for name in ("export", "export_texts"))
    help_text = subprocess.run(
        [sys.executable, "-m", "c_quorvant", "--help"], capture_output=True, text=True, check=True
    ).stdout
    assert "exit status:" in help_text and "130" in help_text
