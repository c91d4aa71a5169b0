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

import codecs
import ctypes
import enum
import errno
import json
import math
import os
import struct
from dataclasses import dataclass
from typing import List, Optional, Union

from ._library import ConnectionRecord, GdbRecord, OptionRecord, library

__all__ = [
    "Result", "BrelloxError", "InvalidArgument", "NotFound", "AlreadyExists",
    "Refused", "Busy", "FileMissing", "PermissionDenied", "Damaged",
    "IOError_", "NoMemory", "UndecodableText", "Connection", "Gdb", "Option", "OptionType",
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


class _FileError(BrelloxError):
    """A failure of the file itself, also an OSError with `errno` and
    `filename` set (None for the library's own file)."""
    _errno = None

    def __init__(self, result, reason, filename=None):
        super().__init__(result, reason)
        if self._errno is not None:
            self.errno = self._errno
        self.strerror = reason
        self.filename = filename

    def __str__(self):
        return BrelloxError.__str__(self)


class InvalidArgument(BrelloxError, ValueError):
    pass


class NotFound(BrelloxError, LookupError):
    pass


class AlreadyExists(BrelloxError):
    pass


class Refused(BrelloxError):
    pass


class Busy(_FileError, TimeoutError):
    _errno = errno.ETIMEDOUT


class FileMissing(_FileError, FileNotFoundError):
    _errno = errno.ENOENT


class PermissionDenied(_FileError, PermissionError):
    _errno = errno.EACCES


class Damaged(BrelloxError):
    pass


class IOError_(BrelloxError):
    pass


class NoMemory(BrelloxError, MemoryError):
    pass


class UndecodableText(BrelloxError, UnicodeError):
    """A stored text that does not decode in the file's code page: `record`
    names the record (as "connection 3"), `field` its field."""

    def __init__(self, record, field, encoding, raw):
        super().__init__(Result.DAMAGED,
                         "the %s of %s does not decode as %s: %r"
                         % (field, record, encoding, raw))
        self.record = record
        self.field = field
        self.raw = raw


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


_USER_NAME_SIZE = 31
_TEMP_DIR_SIZE = 128
_NAME_SIZE = 33
_GROUP_SLOTS = 6
# brellox_apply's flags (BRELLOX_APPLY_*).
_APPLY_PRUNE = 1
_APPLY_DRY_RUN = 2
_APPLY_KEEP_IDS = 4
_APPLY_ALLOW_EMPTY_PASSWORD = 8


def _check_encoding(encoding):
    """InvalidArgument unless `encoding` writes ASCII as itself and no text
    as a NUL byte, as the file's texts end at their first NUL; LookupError
    for an unknown name."""
    codecs.lookup(encoding)
    ascii = bytes(range(1, 128))
    try:
        same = ascii.decode("ascii").encode(encoding) == ascii
        sample = "\u00e9\u4e2d\u0416".encode(encoding, "ignore")
    except UnicodeError:
        same = False
    if not same or b"\0" in sample:
        raise InvalidArgument(Result.INVALID_ARGUMENT,
                              "encoding %r does not write ASCII as itself"
                              % encoding if not same else
                              "encoding %r writes NUL bytes" % encoding)


def _refuse_nul(text, what):
    if "\0" in text:
        raise InvalidArgument(Result.INVALID_ARGUMENT,
                              "%s holds a NUL character" % what)


def _where(name, group_type, index):
    """The option at `index` of a group, or the global option, in words."""
    if name is None:
        return "the global option"
    return "option %d of group %r of type %d" % (index, name, group_type)


class ConfigFile:
    """A configuration file: `path` (None: the library's own file, the one
    the Svr_ functions use), its texts in code page `encoding` (default GBK,
    as the admin tool), which must write ASCII as itself. `timeout` is how
    many seconds each call waits for a file that others keep locked before
    it raises Busy (a TimeoutError); 0 tries once, None keeps the library's
    (5 seconds, or what brellox_set_busy_timeout set). A text or path
    holding a NUL is refused with InvalidArgument (a ValueError) naming it,
    as it would be cut there; a stored text that does not decode raises
    UndecodableText naming its record and field."""

    def __init__(self, path: Optional[str] = None, encoding: str = "gbk",
                 timeout: Optional[float] = None):
        if path is not None:
            _refuse_nul(os.fsdecode(path), "path")
        _check_encoding(encoding)
        if timeout is not None and not timeout >= 0:
            raise InvalidArgument(Result.INVALID_ARGUMENT,
                                  "timeout %r is not 0 or more" % timeout)
        self.path = path
        self.encoding = encoding
        self.timeout = timeout

    # -- the call and its outcome ---------------------------------------

    def _call(self, name, *args):
        lib = library()
        # The thread's busy timeout, set before every call: other
        # ConfigFiles may share the thread. None follows the process's.
        lib.brellox_set_thread_busy_timeout(
            -1 if self.timeout is None else
            min(int(math.ceil(self.timeout * 1e6)), 2**63 - 1))
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
        error = _ERRORS[kind]
        text = reason.value.decode(self.encoding, "replace")
        if issubclass(error, _FileError):
            raise error(kind, text, self.path)
        raise error(kind, text)

    def _path(self):
        # The library takes the system's narrow path on every system.
        return None if self.path is None else os.fsencode(self.path)

    def _text(self, text, what):
        """`text` in the file's code page; InvalidArgument naming `what`
        for a NUL in it."""
        if text is None:
            return None
        _refuse_nul(text, what)
        return text.encode(self.encoding)

    def _decoded(self, raw, record, field):
        """The text of a stored field (up to its first NUL)."""
        raw = bytes(raw).split(b"\0", 1)[0]
        try:
            return raw.decode(self.encoding)
        except UnicodeDecodeError:
            raise UndecodableText(record, field, self.encoding, raw) from None

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
        return self._decoded(buffer.value, "the header", "temp dir")

    def set_temp_dir(self, directory: str) -> None:
        self._call("brellox_set_temp_dir", self._text(directory, "directory"))

    # -- users -------------------------------------------------------------

    def add_user(self, name: str, password: Optional[str] = None) -> int:
        return self._int_out("brellox_add_user", self._text(name, "name"),
                             self._text(password, "password"))

    def user_name(self, user_id: int) -> str:
        buffer = ctypes.create_string_buffer(_USER_NAME_SIZE)
        self._call("brellox_get_user_name", user_id, buffer, len(buffer))
        return self._decoded(buffer.value, "user %d" % user_id, "name")

    def update_user(self, user_id: int, password: str) -> None:
        self._call("brellox_update_user", user_id,
                   self._text(password, "password"))

    def delete_user(self, user_id: int) -> None:
        self._call("brellox_delete_user", user_id)

    def user_count(self) -> int:
        return self._int_out("brellox_get_user_count")

    def user_ids(self) -> List[int]:
        return self._ids("brellox_get_user_ids")

    def user_id(self, name: str) -> int:
        return self._int_out("brellox_get_user_id", self._text(name, "name"))

    def check_user(self, name: str, password: str) -> bool:
        """True when the name and password belong to one user; False when
        not (the same for an unknown name). Other failures raise."""
        try:
            self._call("brellox_check_user", self._text(name, "name"),
                       self._text(password, "password"))
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
            setattr(record, name,
                    self._text(getattr(connection, name), "connection " + name))
        return record

    def _connection(self, record):
        # A char array reads up to its first NUL, or whole.
        return Connection(id=record.id, **{
            name: self._decoded(getattr(record, name),
                                "connection %d" % record.id, name)
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
                             self._text(name, "name")) == 1

    def connection_count(self) -> int:
        return self._int_out("brellox_get_connection_count")

    def connection_ids(self) -> List[int]:
        return self._ids("brellox_get_connection_ids")

    # -- GDBs ----------------------------------------------------------------

    def _gdb_record(self, gdb):
        record = GdbRecord()
        record.id = gdb.id
        record.name = self._text(gdb.name, "GDB name")
        if len(gdb.details) > len(record.details):
            raise InvalidArgument(Result.INVALID_ARGUMENT,
                                  "details are longer than 132 bytes")
        ctypes.memmove(record.details, gdb.details, len(gdb.details))
        return record

    def _gdb(self, record):
        return Gdb(id=record.id,
                   name=self._decoded(record.name, "GDB %d" % record.id,
                                      "name"),
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
        return self._int_out("brellox_gdb_exists",
                             self._text(alias_name, "alias name")) == 1

    def gdb_count(self) -> int:
        return self._int_out("brellox_get_gdb_count")

    def gdb_ids(self) -> List[int]:
        return self._ids("brellox_get_gdb_ids")

    def gdb_alias_name(self, gdb_id: int) -> str:
        buffer = ctypes.create_string_buffer(_NAME_SIZE)
        self._call("brellox_get_gdb_alias_name", gdb_id, buffer, len(buffer))
        return self._decoded(buffer.value, "GDB %d" % gdb_id, "name")

    def gdb_id(self, alias_name: str) -> int:
        return self._int_out("brellox_get_gdb_id",
                             self._text(alias_name, "alias name"))

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
        record.name = self._text(option.name, "option name")
        record.type = int(option.type)
        record.description = self._text(option.description,
                                        "option description")
        value = option.value
        if isinstance(value, bool) or option.type == OptionType.INT32:
            raw = struct.pack("<i", int(value))
        elif option.type == OptionType.DOUBLE:
            raw = struct.pack("<d", float(value))
        elif isinstance(value, str):
            raw = self._text(value, "option value") + b"\0"
        else:
            raw = bytes(value)
        if len(raw) > len(record.value):
            raise InvalidArgument(Result.INVALID_ARGUMENT,
                                  "option value is longer than 128 bytes")
        ctypes.memmove(record.value, raw, len(raw))
        return record

    def _option(self, record, where):
        raw = bytes(record.value)
        if record.type == OptionType.INT32:
            value = struct.unpack("<i", raw[:4])[0]
        elif record.type == OptionType.DOUBLE:
            value = struct.unpack("<d", raw[:8])[0]
        elif record.type == OptionType.TEXT:
            value = self._decoded(raw, where, "value")
        else:
            value = raw
        return Option(name=self._decoded(record.name, where, "name"),
                      type=record.type, value=value,
                      description=self._decoded(record.description, where,
                                                "description"))

    def _records_of(self, options):
        array = (OptionRecord * len(options))()
        for i, option in enumerate(options):
            array[i] = self._option_record(option)
        return array

    def add_option_group(self, name: str, group_type: int,
                         options: List[Option]) -> None:
        self._call("brellox_add_option_group", self._text(name, "group name"), group_type,
                   self._records_of(options), len(options))

    def option_count(self, name: Optional[str] = None,
                     group_type: int = 0) -> int:
        return self._int_out("brellox_get_option_count",
                             self._text(name, "group name"),
                             group_type)

    def get_options(self, name: Optional[str] = None,
                    group_type: int = 0) -> List[Option]:
        count = 1 if name is None else _GROUP_SLOTS
        array = (OptionRecord * count)()
        self._call("brellox_get_options", self._text(name, "group name"), group_type,
                   array, count)
        return [self._option(record, _where(name, group_type, index))
                for index, record in enumerate(array)]

    def set_options(self, options: List[Option], name: Optional[str] = None,
                    group_type: int = 0) -> None:
        self._call("brellox_set_options", self._text(name, "group name"), group_type,
                   self._records_of(options), len(options))

    def get_option(self, index: int = 0, name: Optional[str] = None,
                   group_type: int = 0) -> Option:
        record = OptionRecord()
        self._call("brellox_get_option", self._text(name, "group name"), group_type, index,
                   record)
        return self._option(record, _where(name, group_type, index))

    def set_option(self, option: Option, index: int = 0,
                   name: Optional[str] = None, group_type: int = 0) -> None:
        self._call("brellox_set_option", self._text(name, "group name"), group_type, index,
                   self._option_record(option))

    # -- desired state -----------------------------------------------------

    def apply(self, state: Union[dict, str], *, prune: bool = False,
              dry_run: bool = False, keep_ids: bool = False,
              allow_empty_password: bool = False) -> dict:
        """Brings the file to the desired state `state` (a dict, or its JSON
        text), as `brellox apply` does (doc/apply_format.md): records
        matched by name, every change in one commit, nothing written when
        nothing differs or with `dry_run`. Returns the report
        {"changed": bool, "dryRun": bool, "changes": [...]}, the change
        objects `brellox apply --json` prints. A state apply refuses (a new
        user without a password unless `allow_empty_password`, a blank
        name, ...) raises Refused with the reason, naming the state's path;
        passwords given by reference ({"env": NAME}, {"file": PATH}) are
        read by this process and never shown."""
        if isinstance(state, dict):
            text = json.dumps(state)
        elif isinstance(state, str):
            text = state
        else:
            raise InvalidArgument(Result.INVALID_ARGUMENT,
                                  "state is not a dict or a JSON text")
        _refuse_nul(text, "state")
        flags = ((_APPLY_PRUNE if prune else 0) |
                 (_APPLY_DRY_RUN if dry_run else 0) |
                 (_APPLY_KEEP_IDS if keep_ids else 0) |
                 (_APPLY_ALLOW_EMPTY_PASSWORD if allow_empty_password else 0))
        report = ctypes.c_char_p()
        self._call("brellox_apply", text.encode("utf-8"),
                   codecs.lookup(self.encoding).name.encode("ascii"), flags,
                   ctypes.byref(report))
        try:
            return json.loads(ctypes.string_at(report).decode("utf-8"))
        finally:
            library().brellox_free(ctypes.cast(report, ctypes.c_void_p))
