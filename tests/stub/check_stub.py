#!/usr/bin/env python3
"""Checks the shipped Setup.exe: a 32-bit GUI PE file of at most 110,592 bytes
that imports only system DLLs and carries the icon, the dialog, the manifest
and the version block.

    check_stub.py SETUP.EXE              check the file; exit 1 with the reasons
    check_stub.py --self-test SETUP.EXE  spoil copies of the file in memory, one
                                         fault at a time, and make sure the check
                                         rejects each of them
"""
import re
import struct
import sys

MAX_SIZE = 110_592
SYSTEM_DLLS = {
    'kernel32.dll', 'user32.dll', 'gdi32.dll', 'comctl32.dll', 'ole32.dll', 'oleaut32.dll',
    'shell32.dll', 'advapi32.dll', 'msvcrt.dll', 'comdlg32.dll', 'shlwapi.dll', 'version.dll',
}
RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 14, 16, 24


class Pe:
    """The parts of a PE file the check needs; raises ValueError when malformed."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b'MZ':
            raise ValueError('no MZ header')
        self.nt = self.u32(0x3C)
        if data[self.nt:self.nt + 4] != b'PE\0\0':
            raise ValueError('no PE signature')
        self.machine, sections, _, _, _, opt_size, _ = struct.unpack_from('<HHIIIHH', data, self.nt + 4)
        self.opt = self.nt + 24
        self.magic = self.u16(self.opt)
        if self.magic != 0x10B:
            raise ValueError(f'optional header magic {self.magic:#x} is not PE32')
        self.subsystem = self.u16(self.opt + 68)
        self.directories = [struct.unpack_from('<II', data, self.opt + 96 + 8 * i)
                            for i in range(min(self.u32(self.opt + 92), 16))]
        self.sections = []
        for i in range(sections):
            _, vsize, va, raw_size, raw = struct.unpack_from('<8sIIII', data, self.opt + opt_size + 40 * i)
            self.sections.append((va, max(vsize, raw_size), raw, raw_size))

    def u16(self, off):
        return struct.unpack_from('<H', self.data, off)[0]

    def u32(self, off):
        return struct.unpack_from('<I', self.data, off)[0]

    def offset(self, rva):
        for va, size, raw, raw_size in self.sections:
            if va <= rva < va + size and rva - va < raw_size:
                return raw + rva - va
        raise ValueError(f'RVA {rva:#x} is outside every section')

    def cstring(self, rva):
        off = self.offset(rva)
        return self.data[off:self.data.index(b'\0', off)].decode('latin-1')

    def directory(self, index):
        """File offset of data directory `index`, or None when it is absent."""
        rva, size = self.directories[index] if len(self.directories) > index else (0, 0)
        return self.offset(rva) if rva and size else None

    def imports(self):
        names, off = [], self.directory(1)
        while off is not None:
            desc = struct.unpack_from('<IIIII', self.data, off)
            if desc == (0, 0, 0, 0, 0):
                break
            names.append(self.cstring(desc[3]))
            off += 20
        return names

    def resources(self):
        """{(type, id): bytes} of every resource with numeric type and id."""
        found, base = {}, self.directory(2)
        if base is None:
            return found

        def entries(dir_off):
            named, ids = struct.unpack_from('<HH', self.data, base + dir_off + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from('<II', self.data, base + dir_off + 16 + 8 * i)
                yield (None if name & 0x80000000 else name), target

        for rtype, t in entries(0):
            if rtype is None or not t & 0x80000000:
                continue
            for rid, n in entries(t & 0x7FFFFFFF):
                if rid is None or not n & 0x80000000:
                    continue
                for _, leaf in entries(n & 0x7FFFFFFF):
                    if leaf & 0x80000000:
                        continue
                    data_rva, data_size = struct.unpack_from('<II', self.data, base + leaf)
                    off = self.offset(data_rva)
                    found[(rtype, rid)] = self.data[off:off + data_size]
                    break
        return found


def version_strings(block):
    """Fixed file version and {string table: {key: value}} of a version resource."""
    def node(off, end):
        length, value_length, kind = struct.unpack_from('<HHH', block, off)
        if length < 6 or off + length > end:
            raise ValueError('damaged version block')
        key_end = off + 6
        while block[key_end:key_end + 2] != b'\0\0':
            key_end += 2
        key = block[off + 6:key_end].decode('utf-16-le')
        value_off = (key_end + 2 + 3) & ~3
        value_bytes = value_length * 2 if kind == 1 else value_length
        value = block[value_off:value_off + value_bytes]
        children = []
        child = (value_off + value_bytes + 3) & ~3
        while child < off + length:
            sub = node(child, off + length)
            children.append(sub)
            child = (child + sub[3] + 3) & ~3
        return key, value, children, length

    key, value, children, _ = node(0, len(block))
    if key != 'VS_VERSION_INFO' or len(value) < 52 or struct.unpack_from('<I', value, 0)[0] != 0xFEEF04BD:
        raise ValueError('no fixed file information')
    file_ms, file_ls = struct.unpack_from('<II', value, 8)
    tables = {}
    for ckey, _, tabs, _ in children:
        if ckey == 'StringFileInfo':
            for tkey, _, strings, _ in tabs:
                tables[tkey] = {k: v.decode('utf-16-le').rstrip('\0') for k, v, _, _ in strings}
    return (file_ms >> 16, file_ms & 0xFFFF, file_ls >> 16, file_ls & 0xFFFF), tables


def check(data):
    """The reasons why `data` is not an acceptable shipped stub (empty when it is)."""
    problems = []
    if len(data) > MAX_SIZE:
        problems.append(f'size {len(data)} bytes is above {MAX_SIZE}')
    try:
        pe = Pe(data)
    except (ValueError, struct.error, IndexError) as error:
        return problems + [f'not a 32-bit PE file: {error}']
    if pe.machine != 0x14C:
        problems.append(f'machine {pe.machine:#x} is not i386')
    if pe.subsystem != 2:
        problems.append(f'subsystem {pe.subsystem} is not the Windows GUI')
    try:
        for dll in pe.imports():
            if dll.lower() not in SYSTEM_DLLS:
                problems.append(f'imports {dll}, which is not a system DLL')
        resources = pe.resources()
    except (ValueError, struct.error, IndexError) as error:
        return problems + [f'damaged import or resource table: {error}']

    for key, what in (((RT_GROUP_ICON, 1), 'icon resource 1'), ((RT_DIALOG, 1000), 'dialog template 1000')):
        if key not in resources:
            problems.append(f'no {what}')

    manifest = resources.get((RT_MANIFEST, 1), b'').decode('utf-8', 'replace')
    if not manifest:
        problems.append('no manifest (RT_MANIFEST 1)')
    else:
        wanted = [
            (r'<assemblyIdentity\s+type="win32"\s+name="Setup.exe"\s+version="5.1.0.0"\s+processorArchitecture="x86"\s*/>',
             'assembly identity Setup.exe 5.1.0.0 x86'),
            (r'<description>Setup</description>', 'description "Setup"'),
            (r'level="requireAdministrator"\s+uiAccess="false"', 'requireAdministrator without UI access'),
            (r'name="Microsoft.Windows.Common-Controls"\s+version="6.0.0.0"\s+processorArchitecture="x86"',
             'common controls 6.0.0.0 for x86'),
        ]
        for pattern, what in wanted:
            if not re.search(pattern, manifest):
                problems.append(f'manifest lacks {what}')

    block = resources.get((RT_VERSION, 1))
    if block is None:
        problems.append('no version block (RT_VERSION 1)')
    else:
        try:
            fixed, tables = version_strings(block)
            if fixed[:2] != (1, 10):
                problems.append(f'fixed file version {fixed} is not 1.10')
            strings = tables.get('000004b0')
            if strings is None:
                problems.append(f'version block has no language-neutral Unicode table (has {sorted(tables)})')
            else:
                for key, value in (('CompanyName', 'Orvanex'), ('FileDescription', 'Orvanex Setup'),
                                   ('FileVersion', '1.10'), ('ProductVersion', '1.10')):
                    if strings.get(key) != value:
                        problems.append(f'version {key} is {strings.get(key)!r}, not {value!r}')
        except (ValueError, struct.error, IndexError) as error:
            problems.append(f'version block: {error}')
    return problems


def self_test(data):
    """Each spoilt copy must be rejected for its own reason."""
    pe = Pe(data)
    failures = []

    def patched(off, new):
        copy = bytearray(data)
        copy[off:off + len(new)] = new
        return bytes(copy)

    def replaced(old, new):
        assert len(old) == len(new)
        at = data.find(old)
        if at < 0:
            raise AssertionError(f'{old!r} not found in the file')
        return patched(at, new)

    def resource_type_patched(rtype, new_type):
        # Renumber one type entry of the root resource directory.
        base = pe.directory(2)
        named, ids = struct.unpack_from('<HH', data, base + 12)
        for i in range(named + ids):
            if pe.u32(base + 16 + 8 * i) == rtype:
                return patched(base + 16 + 8 * i, struct.pack('<I', new_type))
        raise AssertionError(f'resource type {rtype} not found')

    user32 = next(n for n in pe.imports() if n.lower() == 'user32.dll')
    cases = [
        ('64-bit machine', patched(pe.nt + 4, struct.pack('<H', 0x8664)), 'machine'),
        ('PE32+ header', patched(pe.opt, struct.pack('<H', 0x20B)), 'not a 32-bit PE'),
        ('console subsystem', patched(pe.opt + 68, struct.pack('<H', 3)), 'subsystem'),
        ('runtime DLL import', replaced(user32.encode() + b'\0', b'LIBSTD.dll\0'), 'LIBSTD.dll'),
        ('too large', data + bytes(MAX_SIZE + 1 - len(data)), 'size'),
        ('no manifest', resource_type_patched(RT_MANIFEST, 0x7F00), 'no manifest'),
        ('manifest asks no rights', replaced(b'requireAdministrator', b'asInvoker"  x="abcde'),
         'requireAdministrator'),
        ('no version block', resource_type_patched(RT_VERSION, 0x7F01), 'no version block'),
        ('wrong company', replaced('Orvanex\0'.encode('utf-16-le'), 'Orvaney\0'.encode('utf-16-le')),
         'CompanyName'),
        ('no icon', resource_type_patched(RT_GROUP_ICON, 0x7F02), 'no icon'),
        ('not a PE file', b'MZ' + bytes(200), 'not a 32-bit PE'),
    ]
    if check(data):
        failures.append(f'the unspoilt file is rejected: {check(data)}')
    for name, spoilt, reason in cases:
        problems = check(spoilt)
        if not any(reason in p for p in problems):
            failures.append(f'{name}: expected a problem mentioning {reason!r}, got {problems}')
    return failures, len(cases)


def main(argv):
    if len(argv) == 3 and argv[1] == '--self-test':
        failures, count = self_test(open(argv[2], 'rb').read())
        for failure in failures:
            print(f'check_stub self-test: {failure}')
        print(f'check_stub self-test: {count - len(failures)} of {count} spoilt files rejected as they should be')
        return 1 if failures else 0
    if len(argv) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    try:
        data = open(argv[1], 'rb').read()
    except OSError as error:
        print(f'{argv[1]}: {error.strerror}', file=sys.stderr)
        return 1
    problems = check(data)
    for problem in problems:
        print(f'{argv[1]}: {problem}')
    if not problems:
        print(f'{argv[1]}: {len(data)} bytes (limit {MAX_SIZE}), 32-bit GUI, system DLLs only, manifest and version block present')
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
