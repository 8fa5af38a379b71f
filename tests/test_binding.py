"""Argument binding, type tests and text conversion at the module boundary."""

import collections

import pytest

from c_quorvant import modify_subs

# name, parameters, and arguments that bind cleanly and reach the core harmlessly.
FUNCTIONS = [
    ("modify_subs_py", ("subfile", "replacementFile"), ("episode.txt", "words.json")),
    ("overwrite_subs", ("subfile", "replacementFile"), ("episode.txt", "words.json")),
    ("find_key_by_string_wrapper", ("py_dictionary", "target_string", "search_array"), ({}, "x", "y")),
]


def each_function(cases):
    """Crosses every function with the cases that `cases(params, args)` builds for it."""
    return [
        pytest.param(name, *case, id=f"{name}-{i}")
        for name, params, args in FUNCTIONS
        for i, case in enumerate(cases(params, args))
    ]


def missing_argument(name, params, given):
    return f"{name}() takes exactly {len(params)} positional arguments ({given} given)"


def binding_errors(params, args):
    n = len(params)
    cases = [((args + args)[:k], {}, k) for k in range(n + 2) if k != n]
    # Only a later parameter by keyword: nothing is bound before the first one.
    cases.append(((), {params[-1]: args[-1]}, 0))
    # The first parameter by keyword, the rest missing.
    cases.append(((), {params[0]: args[0]}, 1))
    # Binding by keyword stops at the first missing parameter, even when a duplicate
    # keyword would also be an error.
    cases.append((args[:1], {params[0]: args[0]}, 1))
    return cases


@pytest.mark.parametrize("name, args, kwargs, given", each_function(binding_errors))
def test_wrong_argument_counts_report_how_many_were_bound(name, args, kwargs, given):
    params = next(p for n, p, _ in FUNCTIONS if n == name)
    with pytest.raises(TypeError) as error:
        getattr(modify_subs, name)(*args, **kwargs)
    assert str(error.value) == missing_argument(name, params, given)


@pytest.mark.parametrize("name, params, args", FUNCTIONS)
def test_surplus_keywords_are_named(name, params, args):
    function = getattr(modify_subs, name)
    with pytest.raises(TypeError) as error:
        function(*args, **{params[0]: args[0]})
    assert str(error.value) == f"{name}() got multiple values for keyword argument '{params[0]}'"
    with pytest.raises(TypeError) as error:
        function(*args, mode=1)
    assert str(error.value) == f"{name}() got an unexpected keyword argument 'mode'"


@pytest.mark.parametrize("name, params, args", FUNCTIONS)
def test_keywords_bind_in_any_order_and_by_equal_text(name, params, args, workdir):
    function = getattr(modify_subs, name)
    assert function(*args) == ""
    assert function(**dict(reversed(list(zip(params, args, strict=True))))) == ""
    # Names built at run time are equal to the parameter names but not the same objects.
    assert function(**{"".join(list(p)): a for p, a in zip(params, args, strict=True)}) == ""
    assert function(args[0], **{p: a for p, a in zip(params[1:], args[1:], strict=True)}) == ""


class StrSubclass(str):
    pass


class DictSubclass(dict):
    pass


def type_errors(params, args):
    expected = "dict" if params[0] == "py_dictionary" else "str"
    wrong_first = (
        [
            (collections.OrderedDict(), "collections.OrderedDict"),
            (DictSubclass(), "DictSubclass"),
            ([], "list"),
            (StrSubclass("x"), "StrSubclass"),
        ]
        if expected == "dict"
        else [
            (None, "NoneType"),
            (b"episode.ass", "bytes"),
            (StrSubclass("episode.ass"), "StrSubclass"),
            (1, "int"),
        ]
    )
    cases = [((value,) + args[1:], params[0], expected, got) for value, got in wrong_first]
    # Every later parameter is a text; the first wrong argument is the one reported.
    for i in range(1, len(params)):
        bad = list(args)
        bad[i] = StrSubclass("y")
        cases.append((tuple(bad), params[i], "str", "StrSubclass"))
        bad[i] = b"y"
        cases.append((tuple(bad), params[i], "str", "bytes"))
    cases.append(((wrong_first[0][0],) + (b"y",) * (len(params) - 1), params[0], expected, wrong_first[0][1]))
    return cases


@pytest.mark.parametrize("name, args, param, expected, got", each_function(type_errors))
def test_only_the_exact_type_passes(name, args, param, expected, got, workdir, snapshot):
    with pytest.raises(TypeError) as error:
        getattr(modify_subs, name)(*args)
    assert str(error.value) == f"Argument '{param}' has incorrect type (expected {expected}, got {got})"
    assert snapshot() == {}


def test_none_passes_the_type_test_only_for_the_look_up():
    # The dictionary is converted before the texts are encoded.
    with pytest.raises(AttributeError, match=r"^'NoneType' object has no attribute 'items'$"):
        modify_subs.find_key_by_string_wrapper(None, None, None)
    for args in (({}, None, "y"), ({}, "x", None)):
        with pytest.raises(TypeError):
            modify_subs.find_key_by_string_wrapper(*args)


def test_conversion_runs_before_the_texts_are_encoded():
    with pytest.raises(AttributeError):
        modify_subs.find_key_by_string_wrapper({"honorifics": None}, "\udcff", "y")


SURROGATE = "\udcff"


@pytest.mark.parametrize("name", ["modify_subs_py", "overwrite_subs"])
@pytest.mark.parametrize("position", [0, 1])
def test_lone_surrogate_in_a_path_is_refused_before_any_file_is_touched(name, position, workdir, write_words, snapshot):
    write_words({"a": "b"})
    (workdir / "episode.srt").write_text("1\n00:00:01,000 --> 00:00:02,000\na\n", encoding="utf-8")
    args = ["episode.srt", "words.json"]
    args[position] = args[position].replace(".", SURROGATE + ".")
    before = snapshot()
    with pytest.raises(UnicodeEncodeError):
        getattr(modify_subs, name)(*args)
    assert snapshot() == before


@pytest.mark.parametrize("args", [({}, SURROGATE, "y"), ({}, "x", SURROGATE)])
def test_lone_surrogate_in_a_look_up_text_is_refused(args):
    with pytest.raises(UnicodeEncodeError):
        modify_subs.find_key_by_string_wrapper(*args)
