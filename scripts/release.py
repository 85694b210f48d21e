#!/usr/bin/env python3
"""Release files of Pellmora, written so that two builds of one commit give the same bytes.

  release.py wxs --arch x64|x86 [--scope machine|user] --version V --dll FILE --out FILE
                                                                     the installer's WiX source
  release.py tlb-stamp FILE                                          the type library's date
  release.py package-code MSI                                        the .msi's package code, times
  release.py zip OUT FOLDER                                          the release zip

The installer's WiX source states exactly what DllRegisterServer writes: the rows come from the
DLL's own registration scripts (src/module/resources, read with their replacements the way the
DLL's script engine reads them), the application identifier the DLL passes to them, and the
type library's and interfaces' keys as RegisterTypeLib writes them, read from the interface
definition. Nothing is copied by hand.
"""
import argparse
import hashlib
import os
import re
import struct
import sys
import uuid
import zipfile
from xml.sax.saxutils import quoteattr

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RESOURCES = os.path.join(SOURCE, 'src', 'module', 'resources')
IDL = os.path.join(SOURCE, 'src', 'automation', 'pellmora_lib.idl')
APPID_SOURCE = os.path.join(SOURCE, 'src', 'module', 'self_registration.cpp')
# The proxy of every automation-compatible interface (RegisterTypeLib writes it for dual ones).
OLE_AUTOMATION_PROXY = '{00020424-0000-0000-C000-000000000046}'


def fail(message):
    sys.exit(f'release.py: {message}')


# --- registration scripts --------------------------------------------------------------------

def script_tokens(text):
    """The script's tokens: quoted strings (a doubled quote stands for one), braces, '=' and words."""
    tokens, i = [], 0
    while i < len(text):
        c = text[i]
        if c.isspace():
            i += 1
        elif c == '=' or (c in '{}' and text[i + 1:i + 2].strip() == ''):
            # A brace alone opens or closes a block; one that starts a word ({GUID}) is the word's.
            tokens.append(('op', c))
            i += 1
        elif c == "'":
            value, i = '', i + 1
            while True:
                if i >= len(text):
                    fail('unterminated quoted string in a registration script')
                if text[i] == "'":
                    if text[i + 1:i + 2] == "'":
                        value, i = value + "'", i + 2
                        continue
                    i += 1
                    break
                value, i = value + text[i], i + 1
            tokens.append(('word', value))
        else:
            j = i
            while j < len(text) and not text[j].isspace() and text[j] not in "='":
                j += 1
            tokens.append(('word', text[i:j]))
            i = j
    return tokens


def replace(text, replacements):
    """%NAME% by its replacement (names without regard to case); %% stands for %."""
    def one(match):
        name = match.group(1)
        if name == '':
            return '%'
        if name.upper() not in replacements:
            fail(f'no replacement for %{name}%')
        return replacements[name.upper()]
    return re.sub(r'%([^%]*)%', one, text)


class Key:
    def __init__(self, path, owned):
        self.path, self.owned = path, owned
        self.values = []        # (name or None for the default value, data)
        self.children = []


def parse_script(text, replacements):
    """The script's keys below HKCR, as a list of top-level Keys."""
    tokens = [(kind, replace(value, replacements)) for kind, value in script_tokens(text)]
    position = 0

    def next_token():
        nonlocal position
        if position >= len(tokens):
            fail('registration script ends early')
        position += 1
        return tokens[position - 1]

    def peek():
        return tokens[position] if position < len(tokens) else ('end', '')

    def value_after_equals():
        kind, letter = next_token()
        _, data = next_token()
        if letter.lower() != 's':
            fail(f'value type {letter!r}: the installer source is written for string values only')
        return data

    def block(parent_path, parent_owned):
        keys, values = [], []
        if next_token() != ('op', '{'):
            fail('expected { in a registration script')
        while peek() != ('op', '}'):
            _, word = next_token()
            flags = word.lower()
            if flags in ('noremove', 'forceremove', 'delete'):
                _, word = next_token()
            elif flags == 'val':
                _, name = next_token()
                if next_token() != ('op', '='):
                    fail('expected = after a value name')
                values.append((name, value_after_equals()))
                continue
            path = f'{parent_path}\\{word}' if parent_path else word
            if flags == 'delete':
                fail(f'{path}: a Delete key has no installer equivalent')
            key = Key(path, flags != 'noremove')
            if peek() == ('op', '='):
                next_token()
                key.values.append((None, value_after_equals()))
            if peek() == ('op', '{'):
                key.children, extra = block(path, key.owned)
                key.values += extra
            keys.append(key)
        next_token()
        return keys, values

    _, root = next_token()
    if root.upper() not in ('HKCR', 'HKEY_CLASSES_ROOT'):
        fail(f'root {root}: the installer source is written for HKCR scripts only')
    keys, values = block('', False)
    if values or position != len(tokens):
        fail('unexpected text in a registration script')
    return keys


# --- the interface definition ----------------------------------------------------------------

def idl_text():
    """The interface definition as bytes, one character each.

    It is saved as code page 936 and the IDL compiler copies its strings' bytes into the type
    library unchanged; the runtime reads them back through the machine's ANSI code page, so
    RegisterTypeLib writes a different text on every code page. The package keeps those very
    bytes: wixl stores text of code page 1252 byte for byte in a database whose code page is
    neutral, which Windows Installer reads through the machine's ANSI code page too."""
    with open(IDL, 'rb') as f:
        text = f.read().decode('latin-1')
    if re.search('[\x80-\x9f]', text):
        fail(f'{IDL}: a byte from 0x80 to 0x9F has no code page 1252 character for wixl')
    return text


def attributes_of(text, kind):
    """(attributes, name) of every `[attributes] kind name` declaration."""
    return re.findall(r'\[([^\]]*)\]\s*' + kind + r'\s+(\w+)', text)


def attribute(attributes, name):
    match = re.search(name + r'\s*\(\s*"?([^")]*)"?\s*\)', attributes)
    return match.group(1) if match else None


def type_library_keys(platform):
    """The keys RegisterTypeLib writes for the library and its automation interfaces:
    (the library's keys, the keys of this architecture's file, the interfaces' keys)."""
    text = idl_text()
    libraries = attributes_of(text, 'library')
    if len(libraries) != 1:
        fail('the interface definition must declare one library')
    attrs, _ = libraries[0]
    libid = '{' + attribute(attrs, 'uuid').upper() + '}'
    version = attribute(attrs, 'version')
    lcid = int(attribute(attrs, 'lcid') or '0', 0)
    # The runtime sets the "has a disk image" flag (8) on a library loaded from a file, beside
    # the restricted (1), control (2) and hidden (4) flags of the library's attributes.
    flags = 8 | sum(bit for word, bit in (('restricted', 1), ('control', 2), ('hidden', 4))
                    if re.search(r'\b' + word + r'\b', attrs))

    def key(path, owned, *values):
        k = Key(path, owned)
        k.values += values
        return k

    library = key(f'TypeLib\\{libid}', True)
    version_path = f'{library.path}\\{version}'
    version_key = key(version_path, True, (None, attribute(attrs, 'helpstring') or ''))
    version_key.children.append(key(f'{version_path}\\FLAGS', True, (None, str(flags))))
    library.children.append(version_key)
    # The help folder: the library names no help file, and the two architectures' files lie in
    # different folders while this key is one for both (see wxs), so the packages leave it empty
    # rather than name a folder that removing one architecture would leave behind.
    if attribute(attrs, 'helpfile'):
        fail('the library names a help file: the packages must then write its folder (HELPDIR)')
    version_key.children.append(key(f'{version_path}\\HELPDIR', True))
    # The file's own key: the path is removed with the file.
    files = [key(f'{version_path}\\{lcid:x}\\{platform}', True, (None, '[#PellmoraDll]'))]
    interfaces = []
    for attrs, name in attributes_of(text, 'interface'):
        if not re.search(r'\b(dual|oleautomation)\b', attrs):
            continue
        path = 'Interface\\{' + attribute(attrs, 'uuid').upper() + '}'
        interface = key(path, True, (None, name))
        interface.children = [key(f'{path}\\ProxyStubClsid', True, (None, OLE_AUTOMATION_PROXY)),
                              key(f'{path}\\ProxyStubClsid32', True, (None, OLE_AUTOMATION_PROXY)),
                              key(f'{path}\\TypeLib', True, (None, libid), ('Version', version))]
        interfaces.append(interface)
    return [library], files, interfaces


# --- the WiX source --------------------------------------------------------------------------

def formatted(text):
    """Literal text as a value of the installer's Formatted type: brackets escaped, a leading # doubled."""
    text = re.sub(r'[\[\]]', lambda m: '[\\' + m.group(0) + ']', text)
    return '#' + text if text.startswith('#') else text


def registry_rows(keys):
    """(key, name, value) rows. An owned key whose parent stays gets a "*" row (created on
    install, removed with everything below it on uninstall); an owned key with nothing of its own
    a "+" row (created on install)."""
    rows = []

    def walk(key, parent_owned):
        if key.owned and not parent_owned:
            rows.append((key.path, '*', None))
        elif key.owned and not key.values and not key.children:
            rows.append((key.path, '+', None))
        for name, data in key.values:
            rows.append((key.path, name, data))
        for child in key.children:
            walk(child, key.owned)

    for key in keys:
        walk(key, False)
    return rows


# Below HKCR, the keys of which Windows 7 and later keep one copy per registry view; every other key
# is one key that 32-bit and 64-bit programs share (the platform's "Registry Keys Affected by
# WOW64"). The same holds for the per-user classes key. tests/deployment/package_tables.py checks
# the packages against its own copy of this table.
REDIRECTED_CLASSES = ('CLSID', 'Interface')


def redirected(path):
    return path.split('\\')[0].upper() in (name.upper() for name in REDIRECTED_CLASSES)


def wxs(arch, version, dll, scope='machine'):
    platform = {'x64': 'win64', 'x86': 'win32'}[arch]
    with open(APPID_SOURCE, encoding='utf-8') as f:
        appid = re.search(r'kApplicationIdText\[\]\s*=\s*u"(\{[0-9A-Fa-f-]+\})"', f.read())
    if not appid:
        fail(f'no application identifier in {APPID_SOURCE}')
    # The DLL's path is the file's own reference; the installer writes it as it is, so no quote
    # in it needs escaping.
    replacements = {'APPID': appid.group(1), 'MODULE': '[#PellmoraDll]', 'MODULE_RAW': '[#PellmoraDll]'}
    script_keys = []
    for script in ('appid.rgs', 'connection_string.rgs'):
        with open(os.path.join(RESOURCES, script), encoding='utf-8') as f:
            script_keys += parse_script(f.read(), replacements)
    library, files, interfaces = type_library_keys(platform)

    # Two components, laid out for the registry of 64-bit Windows 7 and later.
    #
    # The shared one holds every key that both packages write: the ProgIDs, the application
    # identifier and the type library's own keys (one key for both views on Windows 7 and later),
    # and the interfaces' keys of the 32-bit view (the 32-bit registration writes them, and so
    # does RegisterTypeLib of the 64-bit library: the universal marshaler serves both views). It
    # has the same identity and rows in the x86 and the x64 package, so Windows Installer counts
    # its users and removes it with the last package: removing one architecture leaves the other
    # working. It is a 32-bit component in both, as an x86 package can hold no other; on Windows 7
    # and later its shared keys are the 64-bit programs' keys too, and on Vista and XP x64 the
    # registry reflects Classes into the 64-bit view.
    #
    # The package's own component holds the file and what only this architecture writes: the
    # class in its own view, the library's path for this architecture (a key of its own below the
    # shared library key) and, for x64, the interfaces of the 64-bit view.
    own = files + [k for k in script_keys if redirected(k.path)]
    shared = [k for k in script_keys if not redirected(k.path)] + library + interfaces
    if arch == 'x64':
        own += interfaces

    classes = attributes_of(idl_text(), 'coclass')
    if len(classes) != 1:
        fail('the interface definition must declare one class')
    namespace = uuid.UUID(attribute(classes[0][0], 'uuid'))

    # Stable as long as the class is this class: the upgrade code of each architecture and scope
    # and the components' identities; the product code changes with the version (every release is
    # a major upgrade). The package code is set from the finished file (package-code). The
    # per-user packages write other keys than the per-machine ones, so their components and
    # products are others.
    per_user = scope == 'user'
    suffix = ' user' if per_user else ''

    def code(name):
        return str(uuid.uuid5(namespace, f'Pellmora {name}{suffix}')).upper()

    # Per machine, the installer writes HKCR rows into HKLM\Software\Classes; per user the rows
    # name HKCU\Software\Classes themselves, whatever ALLUSERS says.
    root, key_prefix = ('HKCU', 'Software\\Classes\\') if per_user else ('HKCR', '')

    def rows(keys, key_path):
        lines = []
        for key, name, data in registry_rows(keys):
            attrs = f'Root="{root}" Key={quoteattr(key_prefix + key)} Type="string"'
            if name is not None:
                attrs += f' Name={quoteattr(name)}'
            if data is None:
                data = ''
            elif data != '[#PellmoraDll]':
                data = formatted(data)
                # A registry-only component needs a key path: its first value.
                if key_path:
                    attrs += ' KeyPath="yes"'
                    key_path = False
            lines.append(f'            <RegistryValue {attrs} Value={quoteattr(data)}/>')
        return '\n'.join(lines)

    upgrade = code(f'upgrade {arch}')
    win64 = 'yes' if arch == 'x64' else 'no'
    title = f'Pellmora ({arch}, this user)' if per_user else f'Pellmora ({arch})'
    own_component = f'''<Component Id="Pellmora" Guid="{code(f'component {arch}')}" Win64="{win64}">
            <File Id="PellmoraDll" Name="Pellmora.dll" Source={quoteattr(dll)} KeyPath="yes"/>
{rows(own, False)}
          </Component>'''
    shared_rows = rows(shared, True)
    if per_user:
        # The user's own programs folder, a folder per architecture below Pellmora: a per-user
        # installation knows one programs folder for both. The package needs no elevation
        # (perUser sets the summary's "no elevated privileges" bit) and writes nothing outside the
        # user's profile and HKCU. The shared component lies in the Pellmora folder, which both
        # packages make, and removes it with the last of them (wixl's RemoveFolder removes its
        # component's own folder only).
        package = 'InstallScope="perUser"'
        folders = f'''      <Directory Id="LocalAppDataFolder">
        <Directory Id="PellmoraPrograms" Name="Programs">
        <Directory Id="PellmoraFolder" Name="Pellmora">
          <Directory Id="INSTALLDIR" Name="{arch}">
          {own_component}
          </Directory>
          <Component Id="PellmoraShared" Guid="{code('component shared')}" Win64="no">
            <RemoveFolder Id="RemovePellmoraFolder" On="uninstall"/>
{shared_rows}
          </Component>
        </Directory>
        </Directory>
      </Directory>'''
    else:
        package = 'InstallScope="perMachine"'
        folder = {'x64': 'ProgramFiles64Folder', 'x86': 'ProgramFilesFolder'}[arch]
        folders = f'''      <Directory Id="{folder}">
        <Directory Id="INSTALLDIR" Name="Pellmora">
          {own_component}
          <Component Id="PellmoraShared" Guid="{code('component shared')}" Win64="no">
{shared_rows}
          </Component>
        </Directory>
      </Directory>'''
    return f'''<?xml version="1.0" encoding="utf-8"?>
<!-- The Windows Installer package of Pellmora.dll ({arch}, per {'user' if per_user else 'machine'}), written by the
     build from the DLL's registration scripts and interface definition (scripts/release.py); do not edit. -->
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="{code(f'product {arch} {version}')}" Name="{title}" Language="1033"
           Version="{version}" Manufacturer="Pellmora" UpgradeCode="{upgrade}">
    <Package InstallerVersion="200" Compressed="yes" {package}
             Description="Pellmora {version} ({arch}): the ConnectionString automation server"/>
    <!-- Any older version, and another package of this version, is removed first; a newer one
         stops the installation. -->
    <Upgrade Id="{upgrade}">
      <UpgradeVersion Minimum="0.0.0" IncludeMinimum="yes" Maximum="{version}" IncludeMaximum="yes"
                      Property="PELLMORA_OLDER_FOUND"/>
      <UpgradeVersion Minimum="{version}" IncludeMinimum="no" OnlyDetect="yes" Property="PELLMORA_NEWER_FOUND"/>
    </Upgrade>
    <Condition Message="A newer version of {title} is installed.">NOT PELLMORA_NEWER_FOUND</Condition>
    <InstallExecuteSequence>
      <RemoveExistingProducts After="InstallValidate"/>
    </InstallExecuteSequence>
    <Media Id="1" Cabinet="pellmora.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
{folders}
    </Directory>
    <Feature Id="Pellmora" Level="1">
      <ComponentRef Id="Pellmora"/>
      <ComponentRef Id="PellmoraShared"/>
    </Feature>
  </Product>
</Wix>
'''


# --- making the files reproducible -----------------------------------------------------------

def tlb_stamp(path):
    """The IDL compiler writes its clock into the library's custom data twice: as the text
    "Created by WIDL version N at <date>" and, in the entry after it, as a 32-bit time. Both are
    set to the epoch (the text in the same 24 characters)."""
    with open(path, 'rb') as f:
        data = f.read()
    stamp = re.compile(rb'(Created by WIDL version [0-9.]+ at )[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\d '
                       rb'\d\d:\d\d:\d\d \d{4}(\n?W*\x13\x00)....', re.DOTALL)
    fixed, count = stamp.subn(rb'\1Thu Jan  1 00:00:00 1970\2\0\0\0\0', data)
    if count != 1:
        fail(f'{path}: no date stamp of the IDL compiler found')
    with open(path, 'wb') as f:
        f.write(fixed)


def compound_stream(data, name):
    """The file offsets of every byte of the named stream of a compound file (the .msi format)."""
    sector = 1 << struct.unpack_from('<H', data, 30)[0]
    mini = 1 << struct.unpack_from('<H', data, 32)[0]
    fat_sectors, directory_start = struct.unpack_from('<I', data, 44)[0], struct.unpack_from('<I', data, 48)[0]
    cutoff, minifat_start = struct.unpack_from('<I', data, 56)[0], struct.unpack_from('<I', data, 60)[0]
    difat = list(struct.unpack_from('<109I', data, 76))
    next_difat, difat_count = struct.unpack_from('<I', data, 68)[0], struct.unpack_from('<I', data, 72)[0]
    for _ in range(difat_count):
        entries = struct.unpack_from(f'<{sector // 4}I', data, (next_difat + 1) * sector)
        difat += entries[:-1]
        next_difat = entries[-1]
    fat = []
    for s in difat[:fat_sectors]:
        fat += struct.unpack_from(f'<{sector // 4}I', data, (s + 1) * sector)

    def chain(start, table):
        while start < 0xFFFFFFFA:
            yield start
            start = table[start]

    def sector_offsets(start):
        return [(s + 1) * sector + i for s in chain(start, fat) for i in range(sector)]

    directory = bytes(data[o] for o in sector_offsets(directory_start))
    entries = []
    for e in range(len(directory) // 128):
        entry = directory[e * 128:(e + 1) * 128]
        length = struct.unpack_from('<H', entry, 64)[0]
        entries.append((entry[:max(length - 2, 0)].decode('utf-16-le'),
                        struct.unpack_from('<I', entry, 116)[0], struct.unpack_from('<I', entry, 120)[0]))
    root_start = entries[0][1]
    for entry_name, start, size in entries:
        if entry_name != name:
            continue
        if size >= cutoff:
            return sector_offsets(start)[:size]
        minifat = []
        for s in chain(minifat_start, fat):
            minifat += struct.unpack_from(f'<{sector // 4}I', data, (s + 1) * sector)
        container = sector_offsets(root_start)
        return [container[m * mini + i] for m in chain(start, minifat) for i in range(mini)][:size]
    fail(f'no stream {name!r}')


def package_code(path):
    """wixl writes the build's clock into the summary information (creation and last-saved time)
    and draws the package code (its revision number, by which Windows Installer tells packages
    apart) at random. Both are set here, in place: the times to SOURCE_DATE_EPOCH (0 when unset),
    the package code from the package's content, so the same files give the same code."""
    with open(path, 'rb') as f:
        data = bytearray(f.read())
    offsets = compound_stream(data, '\x05SummaryInformation')
    summary = bytearray(data[o] for o in offsets)
    # One property set: its section's offset at 44, then (identifier, offset) pairs.
    section = struct.unpack_from('<I', summary, 44)[0]
    count = struct.unpack_from('<I', summary, section + 4)[0]
    epoch = int(os.environ.get('SOURCE_DATE_EPOCH') or 0)
    filetime = (epoch + 11644473600) * 10000000
    code_at = None
    for i in range(count):
        identifier, offset = struct.unpack_from('<II', summary, section + 8 + 8 * i)
        kind = struct.unpack_from('<I', summary, section + offset)[0]
        if kind == 64:          # VT_FILETIME
            struct.pack_into('<Q', summary, section + offset + 4, filetime)
        elif identifier == 9:   # the revision number: the package code, VT_LPSTR
            code_at = section + offset + 8
    if code_at is None or summary[code_at:code_at + 1] != b'{':
        fail(f'{path}: no package code in the summary information')
    summary[code_at:code_at + 38] = b'{00000000-0000-0000-0000-000000000000}'
    for offset, byte in zip(offsets, summary):
        data[offset] = byte
    code = '{' + str(uuid.UUID(bytes=hashlib.sha256(data).digest()[:16], version=4)).upper() + '}'
    summary[code_at:code_at + 38] = code.encode()
    for offset, byte in zip(offsets, summary):
        data[offset] = byte
    with open(path, 'wb') as f:
        f.write(data)


def write_zip(out, folder):
    """The folder's files in name order, each with the same time and attributes."""
    files = sorted(os.path.relpath(os.path.join(d, n), folder).replace(os.sep, '/')
                   for d, _, names in os.walk(folder) for n in names)
    with zipfile.ZipFile(out, 'w', zipfile.ZIP_DEFLATED) as z:
        for name in files:
            info = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
            info.external_attr = 0o644 << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0
            with open(os.path.join(folder, name), 'rb') as f:
                z.writestr(info, f.read(), compresslevel=9)


def main():
    parser = argparse.ArgumentParser()
    commands = parser.add_subparsers(dest='command', required=True)
    w = commands.add_parser('wxs')
    w.add_argument('--arch', choices=('x64', 'x86'), required=True)
    w.add_argument('--scope', choices=('machine', 'user'), default='machine')
    w.add_argument('--version', required=True)
    w.add_argument('--dll', required=True)
    w.add_argument('--out', required=True)
    commands.add_parser('tlb-stamp').add_argument('file')
    commands.add_parser('package-code').add_argument('msi')
    z = commands.add_parser('zip')
    z.add_argument('out')
    z.add_argument('folder')
    args = parser.parse_args()
    if args.command == 'wxs':
        text = wxs(args.arch, args.version, args.dll, args.scope)
        with open(args.out, 'w', encoding='utf-8', newline='\n') as f:
            f.write(text)
    elif args.command == 'tlb-stamp':
        tlb_stamp(args.file)
    elif args.command == 'package-code':
        package_code(args.msi)
    else:
        write_zip(args.out, args.folder)


if __name__ == '__main__':
    main()
