"""The package against brellox/brellox_c.h, read as C text: the results,
limits and option types, the record layouts and every function's
parameters must be the header's, so that a change to one without the other
fails here."""
import ctypes
import os
import re

import pytest

import brellox
from brellox import _library

HEADER = os.path.join(os.path.dirname(__file__), os.pardir, os.pardir,
                      "include", "brellox", "brellox_c.h")


@pytest.fixture(scope="module")
def header():
    with open(HEADER, encoding="ascii") as text:
        # Comments say things the parse must not take for declarations.
        return re.sub(r"/\*.*?\*/", "", text.read(), flags=re.S)


def test_results_are_the_headers(header):
    body = re.search(r"typedef enum brellox_result \{(.*?)\}", header,
                     re.S).group(1)
    declared = {name: int(value) for name, value in
                re.findall(r"BRELLOX_(\w+) = (\d+)", body)}
    assert declared == {result.name: result.value
                        for result in brellox.Result}


def _defines(header):
    return {name: int(value) for name, value in
            re.findall(r"#define BRELLOX_(\w+) (\d+)", header)}


def test_limits_and_option_types_are_the_headers(header):
    defines = _defines(header)
    assert defines["USER_NAME_SIZE"] == brellox._USER_NAME_SIZE
    assert defines["NAME_SIZE"] == brellox._NAME_SIZE
    assert defines["TEMP_DIR_SIZE"] == brellox._TEMP_DIR_SIZE
    assert defines["OPTION_GROUP_SLOTS"] == brellox._GROUP_SLOTS
    declared = {name[len("OPTION_"):]: value
                for name, value in defines.items()
                if name.startswith("OPTION_") and name != "OPTION_GROUP_SLOTS"}
    assert declared == {kind.name: kind.value for kind in brellox.OptionType}


def test_apply_flags_are_the_headers(header):
    defines = _defines(header)
    assert {name: value for name, value in defines.items()
            if name.startswith("APPLY_")} == {
        "APPLY_PRUNE": brellox._APPLY_PRUNE,
        "APPLY_DRY_RUN": brellox._APPLY_DRY_RUN,
        "APPLY_KEEP_IDS": brellox._APPLY_KEEP_IDS,
        "APPLY_ALLOW_EMPTY_PASSWORD": brellox._APPLY_ALLOW_EMPTY_PASSWORD}


_SCALARS = {"char": ctypes.c_char, "int32_t": ctypes.c_int32,
            "unsigned char": ctypes.c_ubyte}


@pytest.mark.parametrize("c_name, record", [
    ("brellox_connection", _library.ConnectionRecord),
    ("brellox_gdb", _library.GdbRecord),
    ("brellox_option", _library.OptionRecord),
])
def test_records_are_laid_out_as_the_headers(header, c_name, record):
    body = re.search(r"typedef struct %s \{(.*?)\}" % c_name, header,
                     re.S).group(1)
    fields = re.findall(r"(unsigned char|char|int32_t) (\w+)(?:\[(\d+)\])?;",
                        body)
    assert [(name, ctypes.sizeof(_SCALARS[kind]) * int(length or 1))
            for kind, name, length in fields] == \
        [(name, ctypes.sizeof(kind)) for name, kind in record._fields_]
    for name, _ in record._fields_:
        assert getattr(record, name).offset == sum(
            ctypes.sizeof(kind) for field, kind in
            record._fields_[:[f for f, _ in record._fields_].index(name)])


def _ctype(parameter):
    """The ctypes type the package must give a C parameter."""
    kind = re.sub(r"\s*\b\w+$", "", parameter.strip())  # drop the name
    kind = kind.replace("const ", "").replace(" *", "*").strip()
    records = {"brellox_connection*": _library.ConnectionRecord,
               "brellox_gdb*": _library.GdbRecord,
               "brellox_option*": _library.OptionRecord}
    if kind == "char*":
        return ctypes.c_char_p
    if kind == "char**":
        return ctypes.POINTER(ctypes.c_char_p)
    if kind == "void*":
        return ctypes.c_void_p
    if kind in records:
        return ctypes.POINTER(records[kind])
    if kind == "int32_t*":
        return ctypes.POINTER(ctypes.c_int32)
    return {"int32_t": ctypes.c_int32, "int64_t": ctypes.c_int64,
            "uint32_t": ctypes.c_uint32, "brellox_result": ctypes.c_int}[kind]


def test_every_function_has_the_headers_parameters(header):
    declared = {}
    returning = {}
    for returns, name, parameters in re.findall(
            r"BRELLOX_C_API\s+([\w\s\*]+?)\s*\**\s*(brellox_\w+)\s*"
            r"\(([^)]*)\);", header):
        declared[name] = [_ctype(p) for p in parameters.split(",")]
        returning[name] = returns.strip()
    # The one function that answers a text instead of a result.
    assert declared.pop("brellox_result_name") == [ctypes.c_int]
    assert sorted(declared) == sorted(_library._SIGNATURES)
    for name, argtypes in declared.items():
        assert _library._SIGNATURES[name] == argtypes, name
    # Only the functions the package reads no result from return void.
    assert {name for name, kind in returning.items()
            if kind == "void"} == _library._VOID
