"""Reads what the package checks need from a PE32+ file: headers, sections and
the resource tree. Standard library only; raises PeError on a malformed file."""

import struct

RT_ICON = 3
RT_GROUP_ICON = 14
RT_VERSION = 16
RT_MANIFEST = 24

IMAGE_DIRECTORY_ENTRY_RESOURCE = 2
IMAGE_DIRECTORY_ENTRY_SECURITY = 4


class PeError(Exception):
    pass


class PeFile:
    def __init__(self, data: bytes):
        self.data = data
        if data[:2] != b"MZ" or len(data) < 0x40:
            raise PeError("no MZ header")
        (pe_offset,) = struct.unpack_from("<I", data, 0x3C)
        if data[pe_offset:pe_offset + 4] != b"PE\0\0":
            raise PeError("no PE signature")
        coff = pe_offset + 4
        (self.machine, section_count, _, self.symbol_table_offset, self.symbol_count,
         optional_size, self.characteristics) = struct.unpack_from("<HHIIIHH", data, coff)
        optional = coff + 20
        (magic,) = struct.unpack_from("<H", data, optional)
        if magic != 0x20B:
            raise PeError("not PE32+ (optional header magic %#x)" % magic)
        (self.subsystem,) = struct.unpack_from("<H", data, optional + 68)
        (directory_count,) = struct.unpack_from("<I", data, optional + 108)
        self.directories = [struct.unpack_from("<II", data, optional + 112 + 8 * i) for i in range(directory_count)]
        self.sections = []
        table = optional + optional_size
        for i in range(section_count):
            name, virtual_size, virtual_address, raw_size, raw_offset = struct.unpack_from("<8sIIII", data,
                                                                                       table + 40 * i)
            self.sections.append((name.rstrip(b"\0").decode("ascii", "replace"), virtual_address,
                                  max(virtual_size, raw_size), raw_offset, raw_size))

    def offset_of(self, rva: int) -> int:
        for _, address, size, raw_offset, raw_size in self.sections:
            if address <= rva < address + size and rva - address < raw_size:
                return raw_offset + rva - address
        raise PeError("address %#x is in no section" % rva)

    def directory(self, index: int):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def resources(self):
        """{(type, name, language): bytes}, with integer ids (named entries keep their text)."""
        rva, size = self.directory(IMAGE_DIRECTORY_ENTRY_RESOURCE)
        if rva == 0 or size == 0:
            return {}
        base = self.offset_of(rva)
        found = {}

        def entry_id(raw):
            if raw & 0x80000000:
                (length,) = struct.unpack_from("<H", self.data, base + (raw & 0x7FFFFFFF))
                start = base + (raw & 0x7FFFFFFF) + 2
                return self.data[start:start + 2 * length].decode("utf-16-le")
            return raw

        def walk(offset, path, depth):
            if depth > 3:
                raise PeError("resource tree deeper than three levels")
            named, numbered = struct.unpack_from("<HH", self.data, base + offset + 12)
            for i in range(named + numbered):
                raw_id, target = struct.unpack_from("<II", self.data, base + offset + 16 + 8 * i)
                key = path + (entry_id(raw_id),)
                if target & 0x80000000:
                    walk(target & 0x7FFFFFFF, key, depth + 1)
                else:
                    data_rva, data_size = struct.unpack_from("<II", self.data, base + target)
                    start = self.offset_of(data_rva)
                    found[key] = self.data[start:start + data_size]

        walk(0, (), 1)
        return found

    def resource(self, type_id, name=None):
        """The first resource of a type (and name), whatever its language; None when there is none."""
        for (kind, entry_name, _), value in sorted(self.resources().items(), key=lambda item: str(item[0])):
            if kind == type_id and (name is None or entry_name == name):
                return value
        return None


def read_version_info(block: bytes):
    """A VS_VERSIONINFO resource as (fixed file info dict, {string name: value})."""

    def header(offset):
        length, value_length, value_type = struct.unpack_from("<HHH", block, offset)
        key_start = offset + 6
        key_end = key_start
        while block[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = block[key_start:key_end].decode("utf-16-le")
        value_start = (key_end + 2 + 3) & ~3
        return length, value_length, value_type, key, value_start

    length, value_length, _, key, value_start = header(0)
    if key != "VS_VERSION_INFO":
        raise PeError("version resource key is %r" % key)
    fixed = {}
    if value_length >= 52:
        fields = struct.unpack_from("<13I", block, value_start)
        if fields[0] != 0xFEEF04BD:
            raise PeError("VS_FIXEDFILEINFO signature %#x" % fields[0])
        fixed = {
            "file_version": (fields[2] >> 16, fields[2] & 0xFFFF, fields[3] >> 16, fields[3] & 0xFFFF),
            "product_version": (fields[4] >> 16, fields[4] & 0xFFFF, fields[5] >> 16, fields[5] & 0xFFFF),
            "file_flags": fields[7] & fields[6],
            "file_os": fields[8],
            "file_type": fields[9],
        }
    strings = {}
    translations = []

    def children(start, end):
        offset = (start + 3) & ~3
        while offset < end:
            child_length = struct.unpack_from("<H", block, offset)[0]
            if child_length == 0:
                break
            yield offset, offset + child_length
            offset = (offset + child_length + 3) & ~3

    for child, child_end in children(value_start + value_length, length):
        _, _, _, child_key, child_value = header(child)
        if child_key == "StringFileInfo":
            for table, table_end in children(child_value, child_end):
                for item, _ in children(header(table)[4], table_end):
                    _, item_value_length, _, item_key, item_value = header(item)
                    # wValueLength counts UTF-16 units for text values, the NUL included.
                    text = block[item_value:item_value + 2 * item_value_length].decode("utf-16-le")
                    strings[item_key] = text.rstrip("\0")
        elif child_key == "VarFileInfo":
            for var, _ in children(child_value, child_end):
                _, var_length, _, _, var_value = header(var)
                for i in range(0, var_length, 4):
                    translations.append(struct.unpack_from("<HH", block, var_value + i))
    fixed["translations"] = translations
    return fixed, strings


def read_icon_group(block: bytes):
    """A GRPICONDIR as a list of (width, height, bit count, icon resource id)."""
    reserved, kind, count = struct.unpack_from("<HHH", block, 0)
    if reserved != 0 or kind != 1:
        raise PeError("not an icon group")
    icons = []
    for i in range(count):
        width, height, _, _, _, bit_count, _, icon_id = struct.unpack_from("<BBBBHHIH", block, 6 + 14 * i)
        icons.append((width or 256, height or 256, bit_count, icon_id))
    return icons
