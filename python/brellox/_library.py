"""Finding and loading the Brellox library, and the C interface's types."""

import ctypes
import ctypes.util
import os
import sys
import threading

# Names of the library, newest interface first.
if sys.platform == "win32":
    _NAMES = ["brellox.dll"]
else:
    _NAMES = ["libbrellox.so.0", "libbrellox.so"]


class ConnectionRecord(ctypes.Structure):
    _fields_ = [
        ("id", ctypes.c_int32),
        ("name", ctypes.c_char * 32),
        ("info1", ctypes.c_char * 32),
        ("info2", ctypes.c_char * 16),
        ("info3", ctypes.c_char * 30),
        ("info4", ctypes.c_char * 64),
        ("fill", ctypes.c_char * 2),
    ]


class GdbRecord(ctypes.Structure):
    _fields_ = [
        ("id", ctypes.c_int32),
        ("name", ctypes.c_char * 32),
        ("details", ctypes.c_ubyte * 132),
    ]


class OptionRecord(ctypes.Structure):
    _pack_ = 1
    _fields_ = [
        ("name", ctypes.c_char * 32),
        ("value", ctypes.c_ubyte * 128),
        ("type", ctypes.c_ubyte),
        ("description", ctypes.c_char * 192),
    ]


assert ctypes.sizeof(ConnectionRecord) == 180
assert ctypes.sizeof(GdbRecord) == 168
assert ctypes.sizeof(OptionRecord) == 353

_c_char_p = ctypes.c_char_p
_int = ctypes.c_int32
_int_p = ctypes.POINTER(ctypes.c_int32)

# Argument types of every function; each returns a brellox_result (an int).
# tests/test_header.py holds them, the records and the constants against
# brellox/brellox_c.h.
_SIGNATURES = {
    "brellox_set_temp_dir": [_c_char_p, _c_char_p],
    "brellox_get_temp_dir": [_c_char_p, ctypes.c_char_p, _int],
    "brellox_add_user": [_c_char_p, _c_char_p, _c_char_p, _int_p],
    "brellox_get_user_name": [_c_char_p, _int, ctypes.c_char_p, _int],
    "brellox_update_user": [_c_char_p, _int, _c_char_p],
    "brellox_delete_user": [_c_char_p, _int],
    "brellox_get_user_count": [_c_char_p, _int_p],
    "brellox_get_user_ids": [_c_char_p, _int_p, _int, _int_p],
    "brellox_get_user_id": [_c_char_p, _c_char_p, _int_p],
    "brellox_check_user": [_c_char_p, _c_char_p, _c_char_p],
    "brellox_get_user_privilege": [_c_char_p, _int, _int, _int_p],
    "brellox_set_user_privilege": [_c_char_p, _int, _int, _int],
    "brellox_last_error": [ctypes.c_char_p, _int],
    "brellox_set_busy_timeout": [ctypes.c_int64],
    "brellox_set_thread_busy_timeout": [ctypes.c_int64],
    "brellox_apply": [_c_char_p, _c_char_p, _c_char_p, ctypes.c_uint32,
                      ctypes.POINTER(ctypes.c_char_p)],
    "brellox_free": [ctypes.c_void_p],
}
# Functions that answer nothing; every other one answers a brellox_result.
_VOID = {"brellox_free"}
for _table, _record in (("connection", ConnectionRecord), ("gdb", GdbRecord)):
    _p = ctypes.POINTER(_record)
    _plural = "connections" if _table == "connection" else "gdbs"
    _SIGNATURES.update({
        "brellox_add_%s" % _table: [_c_char_p, _p, _int_p],
        "brellox_get_%s" % _table: [_c_char_p, _int, _p],
        "brellox_get_%s" % _plural: [_c_char_p, _p, _int, _int_p],
        "brellox_update_%s" % _table: [_c_char_p, _p],
        "brellox_delete_%s" % _table: [_c_char_p, _int],
        "brellox_%s_exists" % _table: [_c_char_p, _c_char_p, _int_p],
        "brellox_get_%s_count" % _table: [_c_char_p, _int_p],
        "brellox_get_%s_ids" % _table: [_c_char_p, _int_p, _int, _int_p],
    })
_SIGNATURES["brellox_get_gdb_alias_name"] = [_c_char_p, _int, ctypes.c_char_p,
                                             _int]
_SIGNATURES["brellox_get_gdb_id"] = [_c_char_p, _c_char_p, _int_p]
_option_p = ctypes.POINTER(OptionRecord)
_SIGNATURES.update({
    "brellox_add_option_group": [_c_char_p, _c_char_p, _int, _option_p, _int],
    "brellox_get_option_count": [_c_char_p, _c_char_p, _int, _int_p],
    "brellox_get_options": [_c_char_p, _c_char_p, _int, _option_p, _int],
    "brellox_set_options": [_c_char_p, _c_char_p, _int, _option_p, _int],
    "brellox_get_option": [_c_char_p, _c_char_p, _int, _int, _option_p],
    "brellox_set_option": [_c_char_p, _c_char_p, _int, _int, _option_p],
})


def _candidates():
    """Where the library is looked for, in order."""
    given = os.environ.get("BRELLOX_LIBRARY")
    if given:
        # Only the path given: another library would work on another file.
        return [given]
    here = os.path.dirname(os.path.abspath(__file__))
    found = [os.path.join(here, name) for name in _NAMES]
    found = [path for path in found if os.path.exists(path)]
    system = ctypes.util.find_library("brellox")
    return found + _NAMES + ([system] if system else [])


_lock = threading.Lock()
_library = None


def library():
    """The loaded library, with every function's types set; loaded once."""
    global _library
    with _lock:
        if _library is None:
            _library = _load()
        return _library


def _load():
    failures = []
    for candidate in _candidates():
        try:
            lib = ctypes.CDLL(candidate)
        except OSError as error:
            failures.append("%s: %s" % (candidate, error))
            continue
        for name, argtypes in _SIGNATURES.items():
            function = getattr(lib, name)
            function.argtypes = argtypes
            function.restype = None if name in _VOID else ctypes.c_int
        lib.brellox_result_name.argtypes = [ctypes.c_int]
        lib.brellox_result_name.restype = ctypes.c_char_p
        return lib
    raise OSError("the Brellox library was not found (set BRELLOX_LIBRARY to "
                  "its path): " + "; ".join(failures))
