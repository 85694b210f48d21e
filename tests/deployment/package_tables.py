#!/usr/bin/env python3
"""The installer packages' Registry tables against the registry of 64-bit Windows 7 and later.

  package_tables.py X86.msi X64.msi [X86-USER.msi X64-USER.msi]

Wine keeps its own registry model (a copy per view of the ProgIDs), so installing the packages
under Wine cannot show whether removing one of them breaks the other on Windows. This test reads
the tables (msiinfo export, from msitools) and resolves every Registry row to the location it
writes on Windows: the classes root (per machine or per user), the registry view, the key and the
value. Windows Installer counts a component's users by its identity and removes its rows with
the last package that holds it, so:
  - a location both packages of a pair write is written by a component of the same identity,
    bitness and rows in both (the shared component), and that component's rows name nothing that
    differs between the packages (a file, a folder);
  - a component that only one package holds removes no location of the other package: not with
    a row of the same location, nor with a "*" or "-" row (a whole tree) above one;
and, with the per-user pair, that it writes the per-machine rows moved to HKCU\\Software\\Classes,
installs without elevation and writes nothing outside HKCU.
Prints one "FAIL: ..." line per fault and ends with "N checks, N failures".
"""
import subprocess
import sys

# Below a classes root (HKLM\Software\Classes, HKCU\Software\Classes) the subkeys of which 64-bit
# Windows 7 and later keep one copy per registry view; every other key below it is one key that
# both views share (the platform's "Registry Keys Affected by WOW64").
REDIRECTED_CLASSES = {'clsid', 'interface', 'directshow', 'media type', 'mediafoundation'}
# Registry table roots (msidbRegistryRoot*).
ROOT_USER_OR_MACHINE, ROOT_CLASSES, ROOT_USER, ROOT_MACHINE = -1, 0, 1, 2
# Component attributes.
COMPONENT_64_BIT = 256
# Summary information word count: elevated privileges are not required.
NO_ELEVATION = 8

checks = failures = 0


def check(condition, message):
    global checks, failures
    checks += 1
    if not condition:
        failures += 1
        print(f'FAIL: {message}')
    return condition


def table(msi, name):
    """The table's rows as dictionaries by column name (no rows when the package has no such table)."""
    result = subprocess.run(['msiinfo', 'export', msi, name], capture_output=True)
    if result.returncode != 0:
        return []
    lines = result.stdout.decode('utf-8', 'surrogateescape').split('\r\n' if b'\r\n' in result.stdout else '\n')
    columns = lines[0].split('\t')
    return [dict(zip(columns, line.split('\t'))) for line in lines[3:] if line]


def summary_word_count(msi):
    output = subprocess.run(['msiinfo', 'suminfo', msi], capture_output=True, text=True).stdout
    for line in output.splitlines():
        if line.startswith('Source:'):
            return int(line.split()[1])
    return None


class Package:
    def __init__(self, msi):
        self.msi = msi
        self.properties = {row['Property']: row['Value'] for row in table(msi, 'Property')}
        self.per_machine = self.properties.get('ALLUSERS') == '1'
        self.components = {row['Component']: row for row in table(msi, 'Component')}
        self.rows = table(msi, 'Registry')

    def bits(self, component):
        return 64 if int(self.components[component]['Attributes']) & COMPONENT_64_BIT else 32

    def location(self, row):
        """(classes root or hive, view, key in lower case, value name or None for the key itself):
        where the row writes on 64-bit Windows 7 and later."""
        root, key = int(row['Root']), row['Key']
        if root == ROOT_USER_OR_MACHINE:
            root = ROOT_MACHINE if self.per_machine else ROOT_USER
        if root == ROOT_CLASSES:
            hive, below = ('HKLM' if self.per_machine else 'HKCU') + '\\Software\\Classes', key
        else:
            hive = {ROOT_USER: 'HKCU', ROOT_MACHINE: 'HKLM'}[root]
            below = key
            if key.lower().startswith('software\\classes\\'):
                hive, below = hive + '\\Software\\Classes', key[len('software\\classes\\'):]
        first = below.split('\\')[0].lower()
        if hive.endswith('Classes') and first not in REDIRECTED_CLASSES:
            view = 'both views'
        elif hive.startswith('HKCU') and not hive.endswith('Classes'):
            view = 'both views'   # HKCU\Software is shared on every version
        else:
            view = f'{self.bits(row["Component_"])}-bit view'
        name = row['Name']
        return (hive, view, below.lower(), None if name in ('', '+', '-', '*') else name.lower())

    def describe(self, row):
        name = row['Name'] or '(default)'
        hive, view, _, _ = self.location(row)
        return f'{hive}\\{row["Key"]} [{name}] ({view}, component {row["Component_"]})'


def removes_tree(row):
    return row['Name'] in ('*', '-') and not row['Value']


def below(location, tree):
    """Whether location lies in the tree a "*" or "-" row at tree removes."""
    return location[:2] == tree[:2] and (location[2] == tree[2] or location[2].startswith(tree[2] + '\\'))


def names_package_data(value):
    """Whether a formatted value holds a reference that resolves per package ([#file], [DIR], ...)."""
    i = 0
    while True:
        i = value.find('[', i)
        if i < 0:
            return False
        if value[i + 1:i + 2] != '\\' and value[i + 1:i + 2] != '~':
            return True
        i += 2


def check_pair(first, second):
    """The rules of the module docstring for two packages of one scope."""
    label = f'{first.msi} and {second.msi}'
    identity = {}
    for package in (first, second):
        identity[package] = {c: row['ComponentId'] for c, row in package.components.items()}
    common = set(identity[first].values()) & set(identity[second].values())

    def common_component(package, component):
        return identity[package][component] in common

    # Components of the same identity: the same bitness, condition and rows, nothing per package.
    for guid in sorted(common):
        components = [next(c for c, g in identity[p].items() if g == guid) for p in (first, second)]
        rows = [sorted((r['Root'], r['Key'].lower(), r['Name'], r['Value']) for r in p.rows if r['Component_'] == c)
                for p, c in zip((first, second), components)]
        attributes = [(p.components[c]['Attributes'], p.components[c]['Condition']) for p, c in zip((first, second), components)]
        check(attributes[0] == attributes[1], f'{label}: component {guid} has other attributes in each: {attributes}')
        check(rows[0] == rows[1], f'{label}: component {guid} has other rows in each package')
        for row in (r for r in first.rows if r['Component_'] == components[0]):
            check(not names_package_data(row['Value']),
                  f'{first.msi}: {first.describe(row)}, a row both packages hold, writes {row["Value"]!r}, which differs by package')

    locations = {p: {} for p in (first, second)}
    for package in (first, second):
        for row in package.rows:
            locations[package].setdefault(package.location(row), []).append(row)
    for package, other in ((first, second), (second, first)):
        for location, rows in locations[package].items():
            for row in rows:
                if common_component(package, row['Component_']):
                    continue
                # A component of this package alone: its rows leave with it.
                check(location not in locations[other],
                      f'{package.msi}: {package.describe(row)} is a location {other.msi} writes too, '
                      'but in a component only this package holds')
                if removes_tree(row):
                    theirs = sorted(other.describe(r) for loc, rs in locations[other].items() if below(loc, location) for r in rs)
                    check(not theirs, f'{package.msi}: {package.describe(row)} removes the tree holding '
                                      f'{len(theirs)} rows of {other.msi}, such as {theirs[:1]}')


def moved(row):
    """A per-machine HKCR row as the per-user package should hold it."""
    key = row['Key']
    return ('Software\\Classes\\' + key).lower(), row['Name'], row['Value']


def check_per_user(machine, user):
    label = f'{user.msi}'
    check(not user.per_machine, f'{label}: the package installs per machine (ALLUSERS)')
    check((summary_word_count(user.msi) or 0) & NO_ELEVATION, f'{label}: the package asks for elevation')
    for row in user.rows:
        hive = user.location(row)[0]
        check(hive.startswith('HKCU'), f'{label}: {user.describe(row)} writes outside HKCU')

    # The same components (by name and bitness) with the same rows.
    def content(package, rows, transform):
        return sorted((transform(r), r['Component_'], package.bits(r['Component_'])) for r in rows)
    expected = content(machine, machine.rows, moved)
    actual = content(user, user.rows, lambda r: (r['Key'].lower(), r['Name'], r['Value']))
    check(expected == actual, f'{label}: the rows are not the rows of {machine.msi} moved to HKCU\\Software\\Classes '
                              f'(missing {[e for e in expected if e not in actual][:2]}, more {[a for a in actual if a not in expected][:2]})')


def main():
    files = sys.argv[1:]
    if len(files) not in (2, 4):
        sys.exit(__doc__)
    packages = [Package(f) for f in files]
    for package in packages:
        check(package.rows, f'{package.msi}: no Registry rows')
    check_pair(packages[0], packages[1])
    if len(packages) == 4:
        check_pair(packages[2], packages[3])
        check_per_user(packages[0], packages[2])
        check_per_user(packages[1], packages[3])
    print(f'{checks} checks, {failures} failures')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
