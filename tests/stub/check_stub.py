#!/usr/bin/env python3
"""usage: check_stub.py OBJDUMP SETUP.EXE

Checks the shipped Setup.exe as the MinGW objdump reads it: a 32-bit GUI PE
file of at most 57,344 bytes (every kilobyte is downloaded by every
customer), importing only system DLLs, with the icon, the
dialog, the manifest and the version block; exit 1 with the reasons."""
import re
import subprocess
import sys

MAX_SIZE = 57_344
SYSTEM_DLLS = {'kernel32.dll', 'user32.dll', 'gdi32.dll', 'comctl32.dll', 'ole32.dll', 'oleaut32.dll',
               'shell32.dll', 'advapi32.dll', 'msvcrt.dll', 'comdlg32.dll', 'shlwapi.dll', 'version.dll'}
REQUIRED = {(14, 1): 'icon 1', (5, 1000): 'dialog 1000', (24, 1): 'manifest 1', (16, 1): 'version block 1'}


def read_pe(objdump, path):
    """Header fields, DLL names, and {(type, id)} of the resources, each with
    the file offset of its type's entry in the root resource directory."""
    run = subprocess.run([objdump, '-p', '-h', path], capture_output=True, text=True)
    if run.returncode:
        raise ValueError(run.stderr.strip())
    out = run.stdout
    field = lambda name: re.search(rf'^{name}\s+(\S+)', out, re.M).group(1)
    rsrc = re.search(r' \.rsrc +\w+ +\w+ +\w+ +(\w+)', out)  # the resource directory's file offset
    rsrc = int(rsrc.group(1), 16) if rsrc else 0
    pe = {'format': re.search(r'file format (\S+)', out).group(1), 'magic': field('Magic'),
          'subsystem': int(field('Subsystem'), 16), 'dlls': re.findall(r'DLL Name: (\S+)', out), 'resources': {}}
    # objdump indents the entries of the type and id levels by 3 and 5.
    for at, indent, number in re.findall(r'^(\w+)( +)Entry: ID: 0x(\w+)', out, re.M):
        if len(indent) == 3:
            rtype, entry = int(number, 16), rsrc + int(at, 16)
        elif len(indent) == 5:
            pe['resources'][(rtype, int(number, 16))] = entry
    return pe


def check(objdump, path):
    """The reasons why the file is not an acceptable shipped stub."""
    data = open(path, 'rb').read()
    problems = [f'size {len(data)} bytes is above {MAX_SIZE}'] if len(data) > MAX_SIZE else []
    try:
        pe = read_pe(objdump, path)
    except (ValueError, AttributeError) as error:
        return problems + [f'not a 32-bit PE file: {error}']
    if (pe['format'], pe['magic']) != ('pei-i386', '010b'):
        problems.append(f'{pe["format"]} with magic {pe["magic"]} is not a 32-bit PE32 file')
    if pe['subsystem'] != 2:
        problems.append(f'subsystem {pe["subsystem"]} is not the Windows GUI')
    problems += [f'imports {dll}, which is not a system DLL' for dll in pe['dlls'] if dll.lower() not in SYSTEM_DLLS]
    problems += [f'no {what}' for key, what in REQUIRED.items() if key not in pe['resources']]
    manifest = re.search(rb'<assembly.*</assembly>', data, re.S) if (24, 1) in pe['resources'] else None
    manifest = manifest.group().decode('utf-8', 'replace') if manifest else ''
    if manifest and not re.search(r'level="requireAdministrator"\s+uiAccess="false"', manifest):
        problems.append('manifest lacks requireAdministrator without UI access')
    if manifest and not re.search(r'"Microsoft.Windows.Common-Controls"\s+version="6\.', manifest):
        problems.append('manifest lacks common controls 6')
    if manifest and set(re.findall(r'processorArchitecture="([^"]*)"', manifest)) != {'x86'}:
        problems.append('manifest names an architecture other than x86')
    return problems


if __name__ == '__main__':
    args = sys.argv[1:]
    if len(args) != 2:
        sys.exit(__doc__.strip())
    problems = check(*args)
    print('\n'.join(f'{args[-1]}: {problem}' for problem in problems) or f'{args[-1]}: passed')
    sys.exit(1 if problems else 0)
