#!/usr/bin/python3
"""Checks the built porkado-recovery.exe as Windows will see it, with pefile.

Usage: check_executable.py PATH/TO/porkado-recovery.exe VERSION PATH/TO/rights_notice.h
"""
import io
import re
import struct
import sys
import unittest
from xml.etree import ElementTree

import pefile

EXE = None
VERSION = None
RIGHTS_NOTICE = None

SYSTEM_DLLS = {'KERNEL32.DLL', 'USER32.DLL', 'ADVAPI32.DLL', 'MSVCRT.DLL'}
LANG_JAPANESE = 0x411

ASM_V1 = '{urn:schemas-microsoft-com:asm.v1}'
ASM_V3 = '{urn:schemas-microsoft-com:asm.v3}'
COMPATIBILITY = '{urn:schemas-microsoft-com:compatibility.v1}'
SMI_2005 = '{http://schemas.microsoft.com/SMI/2005/WindowsSettings}'
SMI_2016 = '{http://schemas.microsoft.com/SMI/2016/WindowsSettings}'
SUPPORTED_OS = {
    'Vista': '{e2011457-1546-43c5-a5fe-008deee3d3f0}',
    '7': '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}',
    '8': '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}',
    '8.1': '{1f676c76-80e1-4239-95bb-83d0f6d0da78}',
    '10 and 11': '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}',
}


def resources_of_type(pe, type_id):
    for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if entry.id == type_id:
            return entry.directory.entries
    return []


def resource_data(pe, language_entry):
    data = language_entry.data.struct
    return pe.get_data(data.OffsetToData, data.Size)


class Executable(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(EXE)

    def test_is_a_32_bit_gui_program_for_windows_4(self):
        header = self.pe.OPTIONAL_HEADER
        self.assertEqual(self.pe.FILE_HEADER.Machine, pefile.MACHINE_TYPE['IMAGE_FILE_MACHINE_I386'])
        self.assertEqual(header.Magic, pefile.OPTIONAL_HEADER_MAGIC_PE)
        self.assertEqual(header.Subsystem, pefile.SUBSYSTEM_TYPE['IMAGE_SUBSYSTEM_WINDOWS_GUI'])
        self.assertEqual((header.MajorSubsystemVersion, header.MinorSubsystemVersion), (4, 0))

    def test_imports_only_system_dlls_and_the_calls_the_run_needs(self):
        imports = {entry.dll.decode().upper(): {i.name.decode() for i in entry.imports if i.name}
                   for entry in self.pe.DIRECTORY_ENTRY_IMPORT}
        self.assertLessEqual(set(imports), SYSTEM_DLLS)
        self.assertIn('MessageBoxA', imports['USER32.DLL'])
        self.assertLessEqual({'RegDeleteKeyA', 'RegFlushKey', 'RegOpenKeyExA', 'RegEnumKeyExW'},
                             imports['ADVAPI32.DLL'])
        self.assertIn('CreateMutexA', imports['KERNEL32.DLL'])
        # Functions that old Windows do not have.
        every_import = set().union(*imports.values())
        self.assertFalse({'RegDeleteTreeA', 'RegDeleteKeyExA', 'SHDeleteKeyA', 'SetDefaultDllDirectories',
                          'NtDeleteKey'} & every_import)

    def test_looks_up_what_newer_windows_have_at_run_time(self):
        # The end-to-end tests may run only the 64-bit build: here the 32-bit one
        # is seen to look these up by name, beside the by-name fallback it imports.
        imports = {i.name.decode() for entry in self.pe.DIRECTORY_ENTRY_IMPORT for i in entry.imports if i.name}
        self.assertLessEqual({'GetModuleHandleA', 'GetProcAddress', 'RegDeleteKeyW'}, imports)
        data = bytes(self.pe.__data__)
        for name in (b'ntdll.dll', b'NtDeleteKey', b'kernel32.dll', b'SetDefaultDllDirectories'):
            self.assertTrue(name + b'\0' in data, name)

    def test_icon_group_myicon_is_japanese_with_32x32x4_and_48x48x8(self):
        groups = {e.name.string.decode() if e.name else e.id: e
                  for e in resources_of_type(self.pe, pefile.RESOURCE_TYPE['RT_GROUP_ICON'])}
        self.assertEqual(list(groups), ['MYICON'])
        languages = groups['MYICON'].directory.entries
        self.assertEqual([lang.id for lang in languages], [LANG_JAPANESE])

        group = resource_data(self.pe, languages[0])
        _, kind, count = struct.unpack_from('<HHH', group)
        self.assertEqual((kind, count), (1, 2))
        entries = [struct.unpack_from('<BBBBHHIH', group, 6 + 14 * i) for i in range(count)]
        self.assertEqual([(w, h, bits) for w, h, _, _, _, bits, _, _ in entries], [(32, 32, 4), (48, 48, 8)])

        # Each image the group names is there, and is the bitmap the group says.
        icons = {e.id: e for e in resources_of_type(self.pe, pefile.RESOURCE_TYPE['RT_ICON'])}
        for width, _, _, _, _, bits, size, icon_id in entries:
            image = resource_data(self.pe, icons[icon_id].directory.entries[0])
            self.assertEqual(len(image), size)
            _, bitmap_width, bitmap_height, _, bitmap_bits = struct.unpack_from('<IiiHH', image)
            self.assertEqual((bitmap_width, bitmap_height, bitmap_bits), (width, 2 * width, bits))

    def test_manifest_elevates_themes_scales_and_names_the_tested_versions(self):
        manifests = resources_of_type(self.pe, pefile.RESOURCE_TYPE['RT_MANIFEST'])
        self.assertEqual([m.id for m in manifests], [1])
        data = resource_data(self.pe, manifests[0].directory.entries[0])
        root = ElementTree.fromstring(data)
        self.assertEqual((root.tag, root.get('manifestVersion')), (ASM_V1 + 'assembly', '1.0'))

        def only(path):
            found = root.findall(path)
            self.assertEqual(len(found), 1, path)
            return found[0]

        controls = only(ASM_V1 + 'dependency/' + ASM_V1 + 'dependentAssembly/' + ASM_V1 + 'assemblyIdentity')
        self.assertEqual(controls.attrib, {
            'type': 'win32', 'name': 'Microsoft.Windows.Common-Controls', 'version': '6.0.0.0',
            'processorArchitecture': 'x86', 'publicKeyToken': '6595b64144ccf1df', 'language': '*'})
        level = only(ASM_V3 + 'trustInfo/' + ASM_V3 + 'security/' + ASM_V3 + 'requestedPrivileges/' +
                     ASM_V3 + 'requestedExecutionLevel')
        self.assertEqual(level.attrib, {'level': 'requireAdministrator', 'uiAccess': 'false'})
        application = only(COMPATIBILITY + 'compatibility/' + COMPATIBILITY + 'application')
        self.assertEqual([entry.get('Id') for entry in application.findall(COMPATIBILITY + 'supportedOS')],
                         list(SUPPORTED_OS.values()))
        settings = ASM_V3 + 'application/' + ASM_V3 + 'windowsSettings/'
        self.assertEqual(only(settings + SMI_2005 + 'dpiAware').text, 'true')
        self.assertEqual(only(settings + SMI_2016 + 'dpiAwareness').text.split(',')[0], 'PerMonitorV2')

        # A form Windows XP SP2 parses: no namespace prefix anywhere, so no element
        # declares a namespace both as its default and under a prefix.
        for _, item in ElementTree.iterparse(io.BytesIO(data), events=['start-ns']):
            self.assertEqual(item[0], '', 'prefix for %s' % item[1])

    def test_version_information_names_the_version_and_the_notice_of_rights(self):
        fixed = self.pe.VS_FIXEDFILEINFO[0]
        numbers = (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xffff, fixed.FileVersionLS >> 16)
        self.assertEqual('.'.join(map(str, numbers)), VERSION)

        [string_info] = [info for info in self.pe.FileInfo[0] if info.Key == b'StringFileInfo']
        [table] = string_info.StringTable
        self.assertEqual(table.LangID, b'041103a4')  # Japanese, code page 932
        strings = {key.decode(): value.decode() for key, value in table.entries.items()}
        self.assertEqual(strings['FileVersion'], VERSION)
        self.assertEqual(strings['ProductVersion'], VERSION)
        self.assertEqual(strings['LegalCopyright'], RIGHTS_NOTICE)
        self.assertEqual(strings['FileDescription'], 'ﾎﾟﾙｶﾄﾞｰﾘｵ\u3000インストールリカバ')
        self.assertEqual(strings['ProductName'], 'ﾎﾟﾙｶﾄﾞｰﾘｵ')


if __name__ == '__main__':
    EXE, VERSION, notice_header = sys.argv[1:4]
    del sys.argv[1:4]
    with open(notice_header) as header:
        RIGHTS_NOTICE = re.search(r'#define PORKADO_RIGHTS_NOTICE "(.*)"', header.read()).group(1)
    unittest.main(verbosity=2)
