"""What importing c_quorvant.modify_subs gives, once per process and interpreter."""

import ast
import builtins
import importlib
import inspect
import sys
from pathlib import Path

import pytest
from conftest import run_python

from c_quorvant import modify_subs

NAME = "c_quorvant.modify_subs"
FUNCTIONS = ["modify_subs_py", "overwrite_subs", "find_key_by_string_wrapper"]


def test_namespace_holds_the_three_functions_and_the_import_attributes():
    public = [name for name in vars(modify_subs) if not name.startswith("_")]
    assert public == FUNCTIONS
    assert modify_subs.__test__ == {}
    assert modify_subs.__builtins__ is builtins
    import_spec = modify_subs.__spec__
    assert (modify_subs.__file__, modify_subs.__loader__, modify_subs.__package__) == (
        import_spec.origin,
        import_spec.loader,
        "c_quorvant",
    )
    assert not hasattr(modify_subs, "__path__")
    assert modify_subs.__doc__ is None


@pytest.mark.parametrize("name", FUNCTIONS)
def test_functions_are_plain_undocumented_module_functions(name):
    function = getattr(modify_subs, name)
    assert function.__name__ == name
    assert function.__module__ == NAME
    assert function.__doc__ is None
    texts = {"subfile": "str", "replacementFile": "str", "return": "str"}
    expected = {"return": "str"} if name == "find_key_by_string_wrapper" else texts
    assert function.__annotations__ == expected


def test_import_again_gives_the_same_module_object(monkeypatch):
    monkeypatch.delitem(sys.modules, NAME)
    assert importlib.import_module(NAME) is modify_subs
    assert importlib.reload(modify_subs) is modify_subs
    assert modify_subs.__test__ == {}


def test_a_second_interpreter_of_the_process_is_refused():
    result = run_python("""
        import _xxsubinterpreters as interpreters
        import c_quorvant.modify_subs
        interp = interpreters.create(isolated=False)
        interpreters.run_string(interp, '''
        try:
            import c_quorvant.modify_subs
        except ImportError as error:
            print("ImportError:", error)
        ''')
        interpreters.destroy(interp)
        print(c_quorvant.modify_subs.modify_subs_py("x.txt", "w.json") == "")
    """)
    assert result.returncode == 0, result.stderr
    assert result.stdout == (
        "ImportError: Interpreter change detected - this module can only be loaded into one "
        "interpreter per process.\nTrue\n"
    )


def test_executing_another_module_object_is_refused():
    result = run_python("""
        import ctypes
        import c_quorvant.modify_subs as module
        definition = ctypes.PyDLL(module.__file__).PyInit_modify_subs
        definition.restype = ctypes.c_void_p
        api = ctypes.pythonapi
        api.PyModule_New.argtypes = [ctypes.c_char_p]
        api.PyModule_New.restype = ctypes.py_object
        api.PyModule_ExecDef.argtypes = [ctypes.py_object, ctypes.c_void_p]
        api.PyModule_ExecDef.restype = ctypes.c_int
        other = api.PyModule_New(b"c_quorvant.modify_subs")
        try:
            api.PyModule_ExecDef(other, definition())
        except RuntimeError as error:
            print(error)
        print(sorted(n for n in vars(other) if not n.startswith("_")))
    """)
    assert result.returncode == 0, result.stderr
    assert result.stdout == (
        "Module 'modify_subs' has already been imported. Re-initialisation is not supported.\n[]\n"
    )


def test_installed_stubs_match_the_functions():
    package = Path(modify_subs.__file__).parent
    assert (package / "py.typed").is_file()
    stubs = ast.parse((package / "modify_subs.pyi").read_text(encoding="utf-8"))
    declared = {
        node.name: [arg.arg for arg in node.args.args] for node in stubs.body if isinstance(node, ast.FunctionDef)
    }
    actual = {name: list(inspect.signature(getattr(modify_subs, name)).parameters) for name in FUNCTIONS}
    assert declared == actual
