"""The Brellox configuration store from Python.

A thin layer over the library's C interface (brellox/brellox_c.h) through
ctypes. ConfigFile names a configuration file (None: the library's own
Svr_Config.CFG) and the code page of its texts; it holds nothing open, and
each method is one isolated call of the library, as in C. A call that does
not succeed raises a BrelloxError subclass carrying the library's result and
its reason.

The library is found, in order: at the path in the environment variable
BRELLOX_LIBRARY; beside this package; on the system's library path.
"""

import ctypes
import enum
import os
import struct
from dataclasses import dataclass
from typing import List, Optional, Union

from ._library import ConnectionRecord, GdbRecord, OptionRecord, library

__all__ = [
    "Result", "BrelloxError", "InvalidArgument", "NotFound", "AlreadyExists",
    "Refused", "Busy", "FileMissing", "PermissionDenied", "Damaged",
    "IOError_", "NoMemory", "Connection", "Gdb", "Option", "OptionType",
    "ConfigFile",
]


class Result(enum.IntEnum):
    """The C interface's results (brellox_result), with their numbers."""
    OK = 0
    INVALID_ARGUMENT = 1
    NOT_FOUND = 2
    ALREADY_EXISTS = 3
    REFUSED = 4
    BUSY = 5
    FILE_MISSING = 6
    PERMISSION_DENIED = 7
    DAMAGED = 8
    IO_ERROR = 9
    NO_MEMORY = 10


class BrelloxError(Exception):
    """A call that did not succeed: `result` says how, `reason` why."""

    def __init__(self, result, reason):
        super().__init__("%s: %s" % (result.name.lower().replace("_", " "),
                                     reason))
        self.result = result
        self.reason = reason


class InvalidArgument(BrelloxError, ValueError):
    pass


class NotFound(BrelloxError, LookupError):
    pass


class AlreadyExists(BrelloxError):
    pass


class Refused(BrelloxError):
    pass


class Busy(BrelloxError):
    pass


class FileMissing(BrelloxError):
    pass


class PermissionDenied(BrelloxError):
    pass


class Damaged(BrelloxError):
    pass


class IOError_(BrelloxError):
    pass


class NoMemory(BrelloxError, MemoryError):
    pass


_ERRORS = {
    Result.INVALID_ARGUMENT: InvalidArgument,
    Result.NOT_FOUND: NotFound,
    Result.ALREADY_EXISTS: AlreadyExists,
    Result.REFUSED: Refused,
    Result.BUSY: Busy,
    Result.FILE_MISSING: FileMissing,
    Result.PERMISSION_DENIED: PermissionDenied,
    Result.DAMAGED: Damaged,
    Result.IO_ERROR: IOError_,
    Result.NO_MEMORY: NoMemory,
}


class OptionType(enum.IntEnum):
    TEXT = 0
    INT32 = 4
    DOUBLE = 7
    BLOCK = 13


@dataclass
class Connection:
    name: str
    info1: str = ""
    info2: str = ""
    info3: str = ""
    info4: str = ""
    id: int = 0  # issued by add_connection


@dataclass
class Gdb:
    name: str  # the alias name
    details: bytes = b""
    id: int = 0  # issued by add_gdb


@dataclass
class Option:
    """One typed option. `value` is an int (INT32), a float (DOUBLE), a str
    (TEXT) or bytes (BLOCK, and types the store gives no meaning)."""
    name: str
    type: int = OptionType.TEXT
    value: Union[int, float, str, bytes] = ""
    description: str = ""


_TEMP_DIR_SIZE = 128
_NAME_SIZE = 33
_GROUP_SLOTS = 6


class ConfigFile:
    """A configuration file: `path` (None: the library's own file, the one
    the Svr_ functions use), its texts in code page `encoding` (default GBK,
    as the admin tool)."""

    def __init__(self, path: Optional[str] = None, encoding: str = "gbk"):
        self.path = path
        self.encoding = encoding

    # -- the call and its outcome ---------------------------------------

    def _call(self, name, *args):
        lib = library()
        result = getattr(lib, name)(self._path(), *args)
        if result != Result.OK:
            self._raise(lib, result)

    def _raise(self, lib, result):
        reason = ctypes.create_string_buffer(1024)
        lib.brellox_last_error(reason, len(reason))
        try:
            kind = Result(result)
        except ValueError:
            kind = Result.IO_ERROR
        raise _ERRORS[kind](kind, reason.value.decode(self.encoding,
                                                      "replace"))

    def _path(self):
        # The library takes the system's narrow path on every system.
        return None if self.path is None else os.fsencode(self.path)

    def _text(self, text):
        return None if text is None else text.encode(self.encoding)

    def _decoded(self, raw):
        return raw.split(b"\0", 1)[0].decode(self.encoding)

    def _ids(self, function):
        capacity = 16
        while True:
            ids = (ctypes.c_int32 * capacity)()
            count = ctypes.c_int32()
            self._call(function, ids, capacity, ctypes.byref(count))
            # More records may have come since the count was taken.
            if count.value <= capacity:
                return list(ids[:count.value])
            capacity = count.value

    def _int_out(self, function, *args):
        value = ctypes.c_int32()
        self._call(function, *args, ctypes.byref(value))
        return value.value

    # -- temporary directory ----------------------------------------------

    def get_temp_dir(self) -> str:
        buffer = ctypes.create_string_buffer(_TEMP_DIR_SIZE)
        self._call("brellox_get_temp_dir", buffer, len(buffer))
        return buffer.value.decode(self.encoding)

    def set_temp_dir(self, directory: str) -> None:
        self._call("brellox_set_temp_dir", self._text(directory))

    # -- users -------------------------------------------------------------

    def add_user(self, name: str, password: Optional[str] = None) -> int:
        return self._int_out("brellox_add_user", self._text(name),
                             self._text(password))

    def user_name(self, user_id: int) -> str:
        buffer = ctypes.create_string_buffer(31)
        self._call("brellox_get_user_name", user_id, buffer, len(buffer))
        return buffer.value.decode(self.encoding)

    def update_user(self, user_id: int, password: str) -> None:
        self._call("brellox_update_user", user_id, self._text(password))

    def delete_user(self, user_id: int) -> None:
        self._call("brellox_delete_user", user_id)

    def user_count(self) -> int:
        return self._int_out("brellox_get_user_count")

    def user_ids(self) -> List[int]:
        return self._ids("brellox_get_user_ids")

    def user_id(self, name: str) -> int:
        return self._int_out("brellox_get_user_id", self._text(name))

    def check_user(self, name: str, password: str) -> bool:
        """True when the name and password belong to one user; False when
        not (the same for an unknown name). Other failures raise."""
        try:
            self._call("brellox_check_user", self._text(name),
                       self._text(password))
        except Refused:
            return False
        return True

    def get_privilege(self, user_id: int, privilege_id: int) -> int:
        """The value of the pair; 0 when none was set."""
        return self._int_out("brellox_get_user_privilege", user_id,
                             privilege_id)

    def set_privilege(self, user_id: int, privilege_id: int,
                      value: int) -> None:
        self._call("brellox_set_user_privilege", user_id, privilege_id,
                   value)

    # -- connections -------------------------------------------------------

    def _connection_record(self, connection):
        record = ConnectionRecord()
        record.id = connection.id
        for name in ("name", "info1", "info2", "info3", "info4"):
            setattr(record, name, self._text(getattr(connection, name)))
        return record

    def _connection(self, record):
        # A char array reads up to its first NUL, or whole.
        return Connection(id=record.id, **{
            name: getattr(record, name).decode(self.encoding)
            for name in ("name", "info1", "info2", "info3", "info4")})

    def add_connection(self, connection: Connection) -> int:
        return self._int_out("brellox_add_connection",
                             self._connection_record(connection))

    def get_connection(self, connection_id: int) -> Connection:
        record = ConnectionRecord()
        self._call("brellox_get_connection", connection_id, record)
        return self._connection(record)

    def connections(self) -> List[Connection]:
        return [self._connection(r)
                for r in self._records("connections", ConnectionRecord)]

    def update_connection(self, connection: Connection) -> None:
        self._call("brellox_update_connection",
                   self._connection_record(connection))

    def delete_connection(self, connection_id: int) -> None:
        self._call("brellox_delete_connection", connection_id)

    def connection_exists(self, name: str) -> bool:
        return self._int_out("brellox_connection_exists",
                             self._text(name)) == 1

    def connection_count(self) -> int:
        return self._int_out("brellox_get_connection_count")

    def connection_ids(self) -> List[int]:
        return self._ids("brellox_get_connection_ids")

    # -- GDBs ----------------------------------------------------------------

    def _gdb_record(self, gdb):
        record = GdbRecord()
        record.id = gdb.id
        record.name = self._text(gdb.name)
        if len(gdb.details) > len(record.details):
            raise InvalidArgument(Result.INVALID_ARGUMENT,
                                  "details are longer than 132 bytes")
        ctypes.memmove(record.details, gdb.details, len(gdb.details))
        return record

    def _gdb(self, record):
        return Gdb(id=record.id, name=record.name.decode(self.encoding),
                   details=bytes(record.details).rstrip(b"\0"))

    def add_gdb(self, gdb: Gdb) -> int:
        return self._int_out("brellox_add_gdb", self._gdb_record(gdb))

    def get_gdb(self, gdb_id: int) -> Gdb:
        record = GdbRecord()
        self._call("brellox_get_gdb", gdb_id, record)
        return self._gdb(record)

    def gdbs(self) -> List[Gdb]:
        return [self._gdb(r) for r in self._records("gdbs", GdbRecord)]

    def update_gdb(self, gdb: Gdb) -> None:
        self._call("brellox_update_gdb", self._gdb_record(gdb))

    def delete_gdb(self, gdb_id: int) -> None:
        self._call("brellox_delete_gdb", gdb_id)

    def gdb_exists(self, alias_name: str) -> bool:
        return self._int_out("brellox_gdb_exists", self._text(alias_name)) == 1

    def gdb_count(self) -> int:
        return self._int_out("brellox_get_gdb_count")

    def gdb_ids(self) -> List[int]:
        return self._ids("brellox_get_gdb_ids")

    def gdb_alias_name(self, gdb_id: int) -> str:
        buffer = ctypes.create_string_buffer(_NAME_SIZE)
        self._call("brellox_get_gdb_alias_name", gdb_id, buffer, len(buffer))
        return buffer.value.decode(self.encoding)

    def gdb_id(self, alias_name: str) -> int:
        return self._int_out("brellox_get_gdb_id", self._text(alias_name))

    def _records(self, plural, record_type):
        capacity = 16
        while True:
            records = (record_type * capacity)()
            count = ctypes.c_int32()
            self._call("brellox_get_" + plural, records, capacity,
                       ctypes.byref(count))
            if count.value <= capacity:
                return list(records[:count.value])
            capacity = count.value

    # -- options ---------------------------------------------------------
    # name None selects the global option (index 0 only); otherwise the
    # group (group_type > 0, name).

    def _option_record(self, option):
        record = OptionRecord()
        record.name = self._text(option.name)
        record.type = int(option.type)
        record.description = self._text(option.description)
        value = option.value
        if isinstance(value, bool) or option.type == OptionType.INT32:
            raw = struct.pack("<i", int(value))
        elif option.type == OptionType.DOUBLE:
            raw = struct.pack("<d", float(value))
        elif isinstance(value, str):
            raw = value.encode(self.encoding) + b"\0"
        else:
            raw = bytes(value)
        if len(raw) > len(record.value):
            raise InvalidArgument(Result.INVALID_ARGUMENT,
                                  "option value is longer than 128 bytes")
        ctypes.memmove(record.value, raw, len(raw))
        return record

    def _option(self, record):
        raw = bytes(record.value)
        if record.type == OptionType.INT32:
            value = struct.unpack("<i", raw[:4])[0]
        elif record.type == OptionType.DOUBLE:
            value = struct.unpack("<d", raw[:8])[0]
        elif record.type == OptionType.TEXT:
            value = self._decoded(raw)
        else:
            value = raw
        return Option(name=self._decoded(record.name), type=record.type,
                      value=value,
                      description=self._decoded(record.description))

    def _records_of(self, options):
        array = (OptionRecord * len(options))()
        for i, option in enumerate(options):
            array[i] = self._option_record(option)
        return array

    def add_option_group(self, name: str, group_type: int,
                         options: List[Option]) -> None:
        self._call("brellox_add_option_group", self._text(name), group_type,
                   self._records_of(options), len(options))

    def option_count(self, name: Optional[str] = None,
                     group_type: int = 0) -> int:
        return self._int_out("brellox_get_option_count", self._text(name),
                             group_type)

    def get_options(self, name: Optional[str] = None,
                    group_type: int = 0) -> List[Option]:
        count = 1 if name is None else _GROUP_SLOTS
        array = (OptionRecord * count)()
        self._call("brellox_get_options", self._text(name), group_type,
                   array, count)
        return [self._option(record) for record in array]

    def set_options(self, options: List[Option], name: Optional[str] = None,
                    group_type: int = 0) -> None:
        self._call("brellox_set_options", self._text(name), group_type,
                   self._records_of(options), len(options))

    def get_option(self, index: int = 0, name: Optional[str] = None,
                   group_type: int = 0) -> Option:
        record = OptionRecord()
        self._call("brellox_get_option", self._text(name), group_type, index,
                   record)
        return self._option(record)

    def set_option(self, option: Option, index: int = 0,
                   name: Optional[str] = None, group_type: int = 0) -> None:
        self._call("brellox_set_option", self._text(name), group_type, index,
                   self._option_record(option))
