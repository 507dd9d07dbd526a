#!/usr/bin/env python3
"""Writes the members we call of a D-Bus interface description a package ships.

usage: interface_subset.py IN.xml OUT.xml MEMBER...

Descriptions shipped with desktop services also hold members whose types belong to
their own libraries (a KF5 class, say); qdbusxml2cpp cannot generate a proxy for
those, and the program calls only a few members anyway.
"""
import sys
import xml.etree.ElementTree as ET


QT_TYPE = 'org.qtproject.QtDBus.QtTypeName.'


def annotate_vardicts(member):
    """Names a{sv} as QVariantMap where the description leaves it out; qdbusxml2cpp
    wants a name for every container type."""
    counts = {'In': 0, 'Out': 0}
    named = {a.get('name') for a in member.iter('annotation')}
    for arg in list(member.findall('arg')):
        out = member.tag == 'signal' or arg.get('direction') == 'out'
        way = 'Out' if out else 'In'
        key = '%s%s%d' % (QT_TYPE, way, counts[way])
        counts[way] += 1
        if arg.get('type') == 'a{sv}' and key not in named:
            ET.SubElement(member, 'annotation', name=key, value='QVariantMap')


def main(source, target, members):
    tree = ET.parse(source)
    wanted = set(members)
    found = set()
    for interface in tree.getroot().iter('interface'):
        for child in list(interface):
            name = child.get('name')
            if child.tag in ('method', 'signal', 'property') and name in wanted:
                found.add(name)
            elif child.tag != 'annotation':
                interface.remove(child)
    for interface in tree.getroot().iter('interface'):
        for member in interface:
            annotate_vardicts(member)
    missing = wanted - found
    if missing:
        sys.exit('%s: no member %s' % (source, ', '.join(sorted(missing))))
    tree.write(target, encoding='unicode', xml_declaration=False)


if __name__ == '__main__':
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2], sys.argv[3:])
