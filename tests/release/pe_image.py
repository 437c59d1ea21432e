"""A PE file read as it lies on disk: headers, sections, import table (no Windows needed)."""
import struct


class PeImage:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        if self.data[:2] != b"MZ":
            raise ValueError("not an MZ file")
        pe = self.u32(0x3C)
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        self.machine, sections, _, _, _, opt_size, self.characteristics = struct.unpack_from("<HHIIIHH", self.data,
                                                                                              pe + 4)
        opt = pe + 24
        magic = self.u16(opt)
        if magic not in (0x10B, 0x20B):
            raise ValueError("unknown optional header 0x%X" % magic)
        self.pe32_plus = magic == 0x20B
        self.os_version = (self.u16(opt + 40), self.u16(opt + 42))
        self.subsystem_version = (self.u16(opt + 48), self.u16(opt + 50))
        self.dll_characteristics = self.u16(opt + 70)
        self.image_base = (struct.unpack_from("<Q", self.data, opt + 24)[0] if self.pe32_plus
                           else self.u32(opt + 28))
        self.pointer_size = 8 if self.pe32_plus else 4
        directories = opt + (112 if self.pe32_plus else 96)
        self.directories = [struct.unpack_from("<II", self.data, directories + 8 * i)
                            for i in range(min(self.u32(directories - 4), 16))]
        table = opt + opt_size
        self.sections = []
        for i in range(sections):
            vsize, va, raw_size, raw = struct.unpack_from("<IIII", self.data, table + 40 * i + 8)
            self.sections.append((va, max(vsize, raw_size), raw))
        self.raw_sizes = {raw: raw_size for _, _, raw_size, raw in
                          (struct.unpack_from("<IIII", self.data, table + 40 * i + 8) for i in range(sections))}

    def u16(self, offset):
        return struct.unpack_from("<H", self.data, offset)[0]

    def u32(self, offset):
        return struct.unpack_from("<I", self.data, offset)[0]

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError("RVA 0x%X outside every section" % rva)

    def va_offset(self, va):
        """File offset of a virtual address (a pointer as the program holds it)."""
        return self.offset(va - self.image_base)

    def file_va(self, offset):
        """Virtual address of a file offset, or None outside every section's raw data."""
        for va, _, raw in self.sections:
            if raw <= offset < raw + self.raw_sizes[raw]:
                return self.image_base + va + offset - raw
        return None

    def text(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii", "replace")

    def thunk_names(self, rva):
        size, ordinal_bit = (8, 1 << 63) if self.pe32_plus else (4, 1 << 31)
        names = []
        at = self.offset(rva)
        while True:
            value = struct.unpack_from("<Q" if self.pe32_plus else "<I", self.data, at)[0]
            if value == 0:
                return names
            names.append("#%d" % (value & 0xFFFF) if value & ordinal_bit else self.text((value & 0x7FFFFFFF) + 2))
            at += size

    def imports(self):
        """(module, function) for every entry of the import table."""
        found = []
        if len(self.directories) < 2 or self.directories[1][0] == 0:
            return found
        at = self.offset(self.directories[1][0])
        while True:
            lookup, _, _, name, address = struct.unpack_from("<5I", self.data, at)
            if not (lookup or name or address):
                return found
            module = self.text(name)
            found.extend((module, function) for function in self.thunk_names(lookup or address))
            at += 20

    def delay_imports(self):
        """(module, function) for every delay-loaded function. GNU ld leaves the delay-import
        directory empty, so without it the descriptors are found by their shape: attributes 1
        (addresses are RVAs), a name ending in ".dll", and a name table of imported names."""
        found = []
        directory = self.directories[13] if len(self.directories) > 13 else (0, 0)
        if directory[0]:
            at = self.offset(directory[0])
            while True:
                descriptor = self._delay_descriptor(at)
                if descriptor is None:
                    return found
                found.extend(descriptor)
                at += 32
        for _, _, raw in self.sections:
            end = raw + self.raw_sizes[raw] - 32
            for at in range(raw, end + 1, 4):
                if self.u32(at) == 1:
                    descriptor = self._delay_descriptor(at)
                    if descriptor:
                        found.extend(descriptor)
        return found

    def _delay_descriptor(self, at):
        attributes, name, module_handle, address_table, name_table = struct.unpack_from("<5I", self.data, at)
        if attributes != 1 or not (name and module_handle and address_table and name_table):
            return None
        try:
            module = self.text(name)
            if not module.lower().endswith(".dll") or not module.isprintable():
                return None
            functions = self.thunk_names(name_table)
        except (ValueError, struct.error):
            return None
        if not functions or not all(f.isidentifier() or f.startswith("#") for f in functions):
            return None
        return [(module, function) for function in functions]
