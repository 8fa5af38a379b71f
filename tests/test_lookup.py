"""The nested dictionary's conversion and the look-up under "honorifics"."""

import collections

import pytest
from conftest import run_python

from c_quorvant import modify_subs

find = modify_subs.find_key_by_string_wrapper

SAMPLE = {"honorifics": {"san": {"ja": ["x", "y"]}, "a": {"p": ["1"]}, "b": {"q": ["2"]}}}


@pytest.mark.parametrize(
    "dictionary, target, list_name, expected",
    [
        ({}, "x", "y", ""),
        ({"honorifics": {}}, "x", "y", ""),
        (SAMPLE, "y", "ja", "san"),
        (SAMPLE, "y", "en", ""),
        (SAMPLE, "Y", "ja", ""),
        (SAMPLE, "1", "p", "a"),
        (SAMPLE, "1", "q", ""),
        ({"honorifics": {"k": {"l": ["", "z"]}}}, "", "l", "k"),
        ({"honorifics": {"さん": {"日本": ["é"]}}}, "é", "日本", "さん"),
        ({"honorifics": {"k": {"l": ["a\0b"]}}}, "a\0b", "l", "k"),
        ({"honorifics": {"k": {"l": ["a\0b"]}}}, "a", "l", ""),
    ],
)
def test_look_up(dictionary, target, list_name, expected):
    assert find(dictionary, target, list_name) == expected


def test_working_maps_start_empty_for_every_entry():
    # Whatever an earlier entry held must not leak into a later one at any level.
    dictionary = {"other": {"k": {"p": ["1"]}}, "honorifics": {"b": {"q": ["2"]}}}
    assert find(dictionary, "1", "p") == ""
    assert find(dictionary, "1", "q") == ""
    assert find(dictionary, "2", "q") == "b"


class Items:
    """A mapping known only by its items() method."""

    def __init__(self, result):
        self.result = result

    def items(self):
        return self.result() if callable(self.result) else self.result


class Encoded:
    """A key whose encode() gives whatever the test chooses."""

    def __init__(self, result):
        self.result = result

    def encode(self, encoding):
        assert encoding == "utf-8"
        return self.result() if callable(self.result) else self.result


Pair = collections.namedtuple("Pair", "key value")


class DictSubclass(dict):
    pass


@pytest.mark.parametrize(
    "honorifics, target, expected",
    [
        (DictSubclass(k={"l": ["x"]}), "x", "k"),
        (collections.OrderedDict(k={"l": ["x"]}), "x", "k"),
        (Items([("k", {"l": ["x"]})]), "x", "k"),
        (Items((("k", {"l": ["x"]}),)), "x", "k"),
        (Items(lambda: iter([["k", {"l": ["x"]}]])), "x", "k"),
        (Items([Pair("k", Items({"l": ("x",)}.items()))]), "x", "k"),
        ({"k": {"l": "abc"}}, "b", "k"),  # a text is iterable: one element per character
        ({"k": {"l": "abc"}}, "abc", ""),
        ({"k": {"l": (c for c in "xy")}}, "y", "k"),
        ({"k": {"l": {"x": 1}}}, "x", "k"),
        ({Encoded(bytearray(b"k")): {Encoded(b"l"): [Encoded(b"x")]}}, "x", "k"),
        ({"k": {"l": [Encoded(b"a\0b")]}}, "a\0b", "k"),
    ],
)
def test_inner_levels_accept_any_mapping_and_iterable(honorifics, target, expected):
    assert find({"honorifics": honorifics}, target, "l") == expected


def test_later_key_with_the_same_encoding_replaces_the_earlier():
    dictionary = {"honorifics": {"old": {"l": ["x"]}}, Encoded(b"honorifics"): {"new": {"l": ["y"]}}}
    assert find(dictionary, "x", "l") == ""
    assert find(dictionary, "y", "l") == "new"


def test_list_is_walked_to_its_current_length():
    values = []

    def encode_and_append():
        values.append("late")
        return b"x"

    values.append(Encoded(encode_and_append))
    assert find({"honorifics": {"k": {"l": values}}}, "late", "l") == "k"


class Growing:
    """A key whose encoding adds an entry to the dict that holds it."""

    def __init__(self, holder):
        self.holder = holder

    def encode(self, encoding):
        self.holder["extra"] = {}
        return b"key"


def growing(level):
    outer, inner, innermost = {}, {}, {}
    innermost[Growing(innermost) if level == "innermost" else "l"] = ["x"]
    innermost["m"] = []
    inner[Growing(inner) if level == "inner" else "k"] = innermost
    inner["j"] = {}
    outer[Growing(outer) if level == "outer" else "honorifics"] = inner
    outer["z"] = {}
    return outer


@pytest.mark.parametrize("level", ["outer", "inner", "innermost"])
def test_dict_changing_size_during_the_walk_is_refused(level):
    with pytest.raises(RuntimeError, match=r"^dictionary changed size during iteration$"):
        find(growing(level), "x", "l")


def test_mapping_whose_items_grows_the_outer_dict_is_refused():
    outer = {}

    def items():
        outer["late"] = {}
        return []

    outer["honorifics"] = Items(items)
    outer["z"] = {}
    with pytest.raises(RuntimeError, match=r"^dictionary changed size during iteration$"):
        find(outer, "x", "l")


MALFORMED = [
    # None at every mapping level, even outside "honorifics".
    ({"honorifics": None}, AttributeError, r"^'NoneType' object has no attribute 'items'$"),
    ({"honorifics": {}, "other": None}, AttributeError, r"^'NoneType' object has no attribute 'items'$"),
    ({"honorifics": {"k": None}}, AttributeError, r"^'NoneType' object has no attribute 'items'$"),
    ({"honorifics": {"k": {"l": None}}}, TypeError, r"^'NoneType' object is not iterable$"),
    ({"honorifics": {"k": {"l": 5}}}, TypeError, r"^'int' object is not iterable$"),
    ({"honorifics": 5}, AttributeError, r"^'int' object has no attribute 'items'$"),
    ({"honorifics": ["k"]}, AttributeError, r"^'list' object has no attribute 'items'$"),
    # Pairs of the wrong length.
    ({"honorifics": Items([("k",)])}, ValueError, r"^need more than 1 value to unpack$"),
    ({"honorifics": Items([()])}, ValueError, r"^need more than 0 values to unpack$"),
    ({"honorifics": Items([("k", {}, 3)])}, ValueError, r"^too many values to unpack \(expected 2\)$"),
    ({"honorifics": {"k": Items(iter([["l"]]))}}, ValueError, r"^need more than 1 value to unpack$"),
    ({"honorifics": {"k": Items(iter([iter("lmn")]))}}, ValueError, r"^too many values to unpack \(expected 2\)$"),
    ({"honorifics": Items([5])}, TypeError, r"^'int' object is not iterable$"),
    ({"honorifics": Items(5)}, TypeError, r"^'int' object is not iterable$"),
    # Keys and elements that are not texts.
    ({1: {}}, AttributeError, r"^'int' object has no attribute 'encode'$"),
    ({"honorifics": {b"k": {}}}, AttributeError, r"^'bytes' object has no attribute 'encode'$"),
    ({"honorifics": {"k": {"l": [None]}}}, AttributeError, r"^'NoneType' object has no attribute 'encode'$"),
    ({Encoded("text"): {}}, TypeError, r"^expected bytes, str found$"),
    ({"honorifics": {"k": {"l": ["\udcff"]}}}, UnicodeEncodeError, r"surrogates not allowed"),
]


@pytest.mark.parametrize("dictionary, error, message", MALFORMED)
def test_malformed_dictionary_raises(dictionary, error, message):
    with pytest.raises(error, match=message):
        find(dictionary, "x", "l")


def test_memory_exhaustion_while_copying_lists_becomes_memory_error():
    # Ten references to one text cost Python one copy and the native maps ten, copied
    # again level by level: the address-space limit is hit in those copies.
    result = run_python("""
        import resource
        from c_quorvant.modify_subs import find_key_by_string_wrapper
        size = 50 * 2**20
        text = "x" * size
        status = open("/proc/self/status").read()
        in_use = int(status.split("VmSize:")[1].split()[0]) * 1024
        resource.setrlimit(resource.RLIMIT_AS, (in_use + 17 * size, resource.RLIM_INFINITY))
        try:
            find_key_by_string_wrapper({"honorifics": {"k": {"l": [text] * 10}}}, "x", "l")
        except MemoryError:
            print("MemoryError")
    """)
    assert (result.returncode, result.stdout) == (0, "MemoryError\n"), result.stderr
