#!/usr/bin/python3
"""The real tool under Wine, against Wine's registry, answered box by box.

Usage: test_end_to_end.py TOOL.exe HELPER.exe WORK_DIR --random-trees RANDOM_TREES.exe
                          --loader WINE_LOADER --arch win32|win64 [TEST...]
       test_end_to_end.py --copy-of-base-prefix PREFIX WORK_DIR --loader WINE_LOADER --arch win32|win64

Each scenario copies a prepared prefix, plants its registry state with the
helper, runs the tool with a relay trace of MessageBoxA, every RegDeleteKey*
and RegDeleteTree* function, RegFlushKey and SetDefaultDllDirectories (and
Wine's DLL trace), answers each box, and then reads the registry back. Every
wait is bounded.

The tool's tree removal also runs on seeded random trees (random_trees.cpp):
a fixed seed by default, or RANDOM_TREES="SEED COUNT" from the environment.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

ARGS = None
SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
RANDOM_TREES = os.environ.get('RANDOM_TREES', '20261211 300').split()
XVFB = None
DISPLAY = None

IDOK, IDYES, IDNO = 1, 6, 7
HKCU, HKLM, HKU = 0x80000001, 0x80000002, 0x80000003
MB_QUESTION, MB_STOP = 0x24, 0x10


def cp932(*lines):
    return '\n'.join(lines).encode('cp932')


TITLE = cp932('ﾎﾟﾙｶﾄﾞｰﾘｵ　インストールリカバ')
QUESTION = cp932('このﾌﾟﾛｸﾞﾗﾑはﾎﾟﾙｶﾄﾞｰﾘｵのｲﾝｽｰﾙやｱﾝｲﾝｽﾄｰﾙに失敗し',
                 '再ｲﾝｽﾄｰﾙできない時にのみ実行して下さい.',
                 'このﾌﾟﾛｸﾞﾗﾑを実行することにより再ｲﾝｽﾄｰﾙができるようになります.',
                 'このﾌﾟﾛｸﾞﾗﾑを実行しますか？')
ALREADY_RUNNING = cp932('既に起動しています')
SUCCESS_HEAD = cp932('ﾘｶﾊﾞに成功しました.', '再度ＣＤ－ＲＯＭからｲﾝｽﾄｰﾙして下さい.', '')
FAILURE_CLOSING = cp932('ﾘｶﾊﾞに失敗しました.')
MENU_ORDER = 'Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\ﾌﾟﾛｸﾞﾗﾑ(&P)\\ﾎﾟﾙｶﾄﾞｰﾘｵ'
ROWS = [
    (HKCU, MENU_ORDER.encode('cp932')),
    (HKLM, 'SOFTWARE\\TAVRO\\ﾎﾟﾙｶﾄﾞｰﾘｵ'.encode('cp932')),
    (HKLM, 'SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ﾎﾟﾙｶﾄﾞｰﾘｵ'.encode('cp932')),
    (HKU, ('.Default\\' + MENU_ORDER).encode('cp932')),
    (HKLM, b'Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\porkado.exe'),
]


def failure_text(position):
    return cp932('リカバ情報(%d)' % position)


def is_success_closing(text):
    notice = text[len(SUCCESS_HEAD):]
    return text.startswith(SUCCESS_HEAD) and notice and all(0x20 <= c < 0x7f for c in notice)


# --- Wine ---------------------------------------------------------------------

def wine_env(prefix, relay=False):
    env = dict(os.environ, WINEPREFIX=prefix, WINEARCH=ARGS.arch, WINELOADER=ARGS.loader, DISPLAY=DISPLAY,
               LC_ALL='ja_JP.UTF-8', WINEDLLOVERRIDES='mscoree,mshtml=', WINEDEBUG='-all')
    if relay:
        env['WINEDEBUG'] = '-all,+relay,+loaddll'
    return env


def wine(prefix, *command, timeout=120):
    """Runs a program under Wine and returns its exit status and output.

    The output goes through a file, not a pipe: the services Wine starts with
    the first program of a prefix inherit it and would hold a pipe open.
    """
    with tempfile.TemporaryFile() as output:
        result = subprocess.run([ARGS.loader, *command], env=wine_env(prefix), stdout=output,
                                stderr=subprocess.DEVNULL, timeout=timeout)
        output.seek(0)
        return result.returncode, output.read().decode(errors='replace')


def helper(prefix, *arguments, timeout=120):
    status, out = wine(prefix, ARGS.helper, *arguments, timeout=timeout)
    if status != 0 and arguments[0] != 'answer':
        raise AssertionError('helper %s failed with status %d' % (arguments, status))
    return out


def stop_wineserver(prefix):
    subprocess.run(['/usr/lib/wine/wineserver', '-k'], env=wine_env(prefix), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60)


def make_base_prefix():
    base = os.path.join(ARGS.work, 'base-prefix')
    ready = os.path.join(base, 'ready')
    if os.path.exists(os.path.join(base, '.update-timestamp')) and os.path.exists(ready):
        with open(ready) as made_with:
            if made_with.read() == RELAY_INCLUDE:
                return base
    shutil.rmtree(base, ignore_errors=True)
    # Copies of an older base would no longer share its files.
    shutil.rmtree(os.path.join(ARGS.work, 'scenarios'), ignore_errors=True)
    wine(base, 'wineboot', '-i', timeout=300)
    # No window manager here: without this Wine waits 2 s after each box.
    wine(base, 'reg', 'add', 'HKCU\\Software\\Wine\\X11 Driver', '/v', 'Managed', '/d', 'N', '/f')
    wine(base, 'reg', 'add', 'HKCU\\Software\\Wine\\Debug', '/v', 'RelayInclude', '/d', RELAY_INCLUDE, '/f')
    subprocess.run(['/usr/lib/wine/wineserver', '-w'], env=wine_env(base), timeout=120)
    with open(os.path.join(base, 'ready'), 'w') as ready:
        ready.write(RELAY_INCLUDE)
    return base


def copy_prefix(base, prefix):
    """A throwaway prefix: its own registry, the base's drive_c shared by hard links."""
    shutil.rmtree(prefix, ignore_errors=True)
    os.makedirs(prefix)
    subprocess.run(['cp', '-al', os.path.join(base, 'drive_c'), prefix], check=True)
    for entry in ('system.reg', 'user.reg', 'userdef.reg', '.update-timestamp', 'dosdevices'):
        subprocess.run(['cp', '-a', os.path.join(base, entry), prefix], check=True)
    return prefix


# --- What the tool did ----------------------------------------------------------

# Every way to delete a key by name is traced, so that a deletion of anything
# but a row's own key shows.
DELETIONS = ['RegDeleteKeyA', 'RegDeleteKeyW', 'RegDeleteKeyExA', 'RegDeleteKeyExW', 'RegDeleteTreeA',
             'RegDeleteTreeW']
# The DLL search restriction is looked up in kernel32, which Wine forwards to kernelbase.
DLL_SEARCH = ['kernel32.SetDefaultDllDirectories', 'kernelbase.SetDefaultDllDirectories']
RELAY_INCLUDE = ';'.join(['user32.MessageBoxA', 'advapi32.RegFlushKey'] + ['advapi32.' + f for f in DELETIONS] +
                         DLL_SEARCH)
DLL_SEARCH_CALL = re.compile(r'(Call|Ret) +(?i:kernel32|kernelbase)\.SetDefaultDllDirectories\(([0-9a-f]*)\)'
                             r'(?: retval=([0-9a-f]+))?')
LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x800
# Where the manifest's Common Controls 6 dependency resolves, Wine loads comctl32
# from its side-by-side store; with a wrong identity it does not.
COMMON_CONTROLS_6 = re.compile(r'Loaded L"[^"]*\\\\winsxs\\\\(x86|amd64)_microsoft\.windows\.common-controls_'
                               r'6595b64144ccf1df_6\.0\.[^"]*\\\\comctl32\.dll"', re.IGNORECASE)
CALL = re.compile(r'Call (user32\.MessageBoxA|advapi32\.RegFlushKey|advapi32\.RegDelete\w+)\((.*)\) ret=')
STRING = r'[0-9a-f]+ L?"((?:[^"\\]|\\.)*)"(?:\.\.\.)?'
BOX_ARGUMENTS = re.compile(r'^[0-9a-f]+,%s,%s,([0-9a-f]+)$' % (STRING, STRING))
DELETE_ARGUMENTS = re.compile(r'^([0-9a-f]+),(?:%s|[0-9a-f]+)(,.*)?$' % STRING)


def unescape(text):
    """The bytes of a string as the relay trace escapes it."""
    out, i = bytearray(), 0
    while i < len(text):
        if text[i] == '\\':
            kind = text[i + 1]
            if kind == 'x':
                out.append(int(text[i + 2:i + 4], 16))
                i += 4
                continue
            out += {'n': b'\n', 'r': b'\r', 't': b'\t'}.get(kind, kind.encode())
            i += 2
        else:
            out += text[i].encode('latin-1')
            i += 1
    return bytes(out)


def root_of(handle):
    return int(handle, 16) & 0xffffffff


def platform_calls(trace):
    """The boxes, the deletions of the five keys and the flushes, in order.

    A box is ('box', style, caption, text as far as the trace shows it). A
    deletion by name of anything but a row's own key by its root and path is a
    'stray deletion': the tool makes none.
    """
    calls = []
    for line in trace.splitlines():
        match = CALL.search(line)
        if not match:
            continue
        function, arguments = match.groups()
        if function == 'user32.MessageBoxA':
            text, caption, style = BOX_ARGUMENTS.match(arguments).groups()
            calls.append(('box', int(style, 16), unescape(caption), unescape(text)))
        elif function == 'advapi32.RegFlushKey':
            calls.append(('flush', root_of(arguments)))
        else:
            handle, path, rest = DELETE_ARGUMENTS.match(arguments).groups()
            path = unescape(path) if path is not None else None
            if function == 'advapi32.RegDeleteKeyA' and (root_of(handle), path) in ROWS:
                calls.append(('delete', root_of(handle), path))
            else:
                calls.append(('stray deletion', function, handle, path, rest))
    return calls


def dll_search_before_first_box(trace):
    """The SetDefaultDllDirectories calls made before the first MessageBoxA: (flags, result) each."""
    calls = []
    for line in trace.splitlines():
        if 'Call user32.MessageBoxA(' in line:
            break
        match = DLL_SEARCH_CALL.search(line)
        if match and match.group(1) == 'Call':
            calls.append([int(match.group(2), 16), None])
        elif match and calls and calls[-1][1] is None:
            calls[-1][1] = int(match.group(3), 16)
    return [tuple(call) for call in calls]


def parse_dump(text):
    state = {}
    for line in text.splitlines():
        label, *rest = line.split()
        state[label] = None if rest == ['absent'] else (int(rest[1]), int(rest[2]))
    return state


class Run:
    """One start of the tool: its exit status, the box texts read off the screen and its platform calls."""

    def __init__(self, prefix, name, arguments=(), tool=None):
        self.trace_path = os.path.join(prefix, name + '.trace')
        self.trace = open(self.trace_path, 'wb')
        self.process = subprocess.Popen([ARGS.loader, tool or ARGS.tool, *arguments], env=wine_env(prefix, relay=True),
                                        stdout=subprocess.DEVNULL, stderr=self.trace)
        self.prefix = prefix
        self.boxes = []

    def answer(self, button, text=b''):
        """Waits for the tool's box (with that text, when given) and presses button; returns the box's text."""
        out = helper(self.prefix, 'answer', str(button), text.hex(' ') if text else '')
        if not out.startswith('box '):
            raise AssertionError('no box appeared; boxes so far: %r' % self.boxes)
        self.boxes.append(bytes.fromhex(out[4:].strip()))
        return self.boxes[-1]

    def finish(self, timeout=60):
        status = self.process.wait(timeout=timeout)
        self.trace.close()
        with open(self.trace_path, 'rb') as trace:
            text = trace.read().decode('latin-1')
        self.calls = platform_calls(text)
        self.dll_search = dll_search_before_first_box(text)
        self.common_controls = COMMON_CONTROLS_6.findall(text)
        return status


# --- Scenarios --------------------------------------------------------------------

SIBLINGS = ['publisher', 'other-app', 'name-prefixed-app', 'other-uninstall', 'other-app-path',
            'other-menu-folder', 'link-target-tree', 'link-target-leaf', 'link-target-grandchild', 'link-nowhere']

# Yes scenarios: the layouts the helper plants, the tool's arguments, which
# rows must still be there afterwards (None: either, the invariant decides),
# and the rows whose key is a link, which the tool must not delete by name.
YES_SCENARIOS = [
    ('all five present, siblings around them', ['five', 'siblings'], [], set(), set()),
    ('none present', [], [], set(), set()),
    ('row 3 refused by the registry', ['five', 'siblings', 'refused:3'], [], {3}, set()),
    ('arguments change nothing', ['five'], ['/uninstall', '-y', 'ﾎﾟﾙｶﾄﾞｰﾘｵ'], set(), set()),
    ('links below rows: to a tree, to a leaf, dangling, back to the row',
     ['five', 'siblings', 'link-tree:2', 'link-leaf:2', 'link-dangling:3', 'link-back:3', 'link-leaf:4'], [],
     set(), set()),
    ('rows 2 and 5 themselves links', ['link-row:2', 'link-row-tree:5'], [], set(), {2, 5}),
    ('a link row beside a refused row', ['link-row:2', 'refused:5'], [], {5}, {2}),
    ('names outside code page 932 below row 1', ['five', 'unmappable:1'], [], set(), set()),
    ('thousands of sub-keys and a deep chain', ['five', 'large:5', 'deep:2'], [], set(), set()),
]


def setUpModule():
    global XVFB, DISPLAY
    read_end, write_end = os.pipe()
    XVFB = subprocess.Popen(['Xvfb', '-displayfd', str(write_end), '-screen', '0', '1024x768x24', '-nolisten', 'tcp'],
                            pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as display_number:
        DISPLAY = ':' + display_number.readline().strip()
    Wine.base = make_base_prefix()
    print('end to end: %s (%s) under %s' % (ARGS.tool, ARGS.arch, ARGS.loader), file=sys.stderr)


def tearDownModule():
    XVFB.terminate()
    XVFB.wait(timeout=30)


class Wine(unittest.TestCase):
    base = None

    def prefix(self, name, layouts):
        prefix = copy_prefix(self.base, os.path.join(ARGS.work, 'scenarios', re.sub(r'\W+', '-', name)))
        self.addCleanup(stop_wineserver, prefix)
        if layouts:
            helper(prefix, 'plant', *layouts)
        return prefix

    def answer_until_closed(self, run):
        """Yes to the question, then OK to every box up to the closing one."""
        self.assertEqual(run.answer(IDYES), QUESTION)
        for _ in range(6):
            text = run.answer(IDOK)
            if text == FAILURE_CLOSING or is_success_closing(text):
                return
        self.fail('no closing box; boxes: %r' % run.boxes)

    def assert_started_as_shipped(self, run):
        """Before its first box, the tool has limited the DLL search to the system folder,
        and its boxes are themed: the manifest brought in Common Controls 6 for this processor."""
        self.assertTrue(run.dll_search, 'no SetDefaultDllDirectories call before the first box')
        for flags, result in run.dll_search:
            self.assertEqual(flags, LOAD_LIBRARY_SEARCH_SYSTEM32)
            self.assertTrue(result, 'SetDefaultDllDirectories failed')
        self.assertEqual(run.common_controls, ['x86' if ARGS.arch == 'win32' else 'amd64'],
                         'Common Controls 6 was not loaded from the side-by-side store')

    def assert_truthful_run(self, run, state, links=frozenset()):
        """What every confirmed run must show: a failure box for a row if and only if
        its key is still there, in its place, and the success text only without one."""
        self.assert_started_as_shipped(run)
        remaining = [n for n in range(1, 6) if state['row%d' % n] is not None]
        expected_boxes = [QUESTION] + [failure_text(n) for n in remaining]
        self.assertEqual(run.boxes[:-1], expected_boxes)
        if remaining:
            self.assertEqual(run.boxes[-1], FAILURE_CLOSING)
        else:
            self.assertTrue(is_success_closing(run.boxes[-1]), run.boxes[-1])

        expected_calls = [('box', MB_QUESTION)]
        for n, (root, path) in enumerate(ROWS, start=1):
            if n not in links:
                expected_calls.append(('delete', root, path))
            if n in remaining:
                expected_calls.append(('box', MB_STOP))
        expected_calls += [('flush', HKCU), ('flush', HKLM), ('flush', HKU), ('box', MB_STOP)]
        self.assertEqual([c[:2] if c[0] == 'box' else c for c in run.calls], expected_calls)

        boxes = [c for c in run.calls if c[0] == 'box']
        for (_, _, caption, traced_text), shown_text in zip(boxes, run.boxes):
            self.assertEqual(caption, TITLE)
            self.assertTrue(shown_text.startswith(traced_text))
        return remaining

    def run_yes_scenario(self, name, layouts, arguments, expected_remaining, links, tool=None):
        prefix = self.prefix(name, layouts)
        before = parse_dump(helper(prefix, 'dump'))
        run = Run(prefix, 'tool', arguments, tool)
        self.answer_until_closed(run)
        self.assertEqual(run.finish(), 0)
        after = parse_dump(helper(prefix, 'dump'))

        remaining = self.assert_truthful_run(run, after, links)
        if expected_remaining is not None:
            self.assertEqual(set(remaining), expected_remaining)
        for label in SIBLINGS:
            expected = before[label]
            if label == 'publisher' and expected and 2 not in remaining and before['row2']:
                expected = (expected[0] - 1, expected[1])  # its one child, row 2, is gone
            self.assertEqual(after[label], expected, label)

    def test_yes(self):
        for scenario in YES_SCENARIOS:
            with self.subTest(scenario[0]):
                self.run_yes_scenario(*scenario)

    def test_signed_executable(self):
        """The executable as make dist signs it, with a throwaway key, runs like the unsigned one."""
        with tempfile.TemporaryDirectory() as work:
            subprocess.run(['bash', os.path.join(SOURCE_DIR, 'tests', 'make_test_certificate.sh'), work], check=True)
            signing = dict(os.environ, SIGNING_PKCS12=os.path.join(work, 'signing.p12'),
                           SIGNING_PASSWORD_FILE=os.path.join(work, 'password'), SOURCE_DATE_EPOCH='1765400000')
            archive = subprocess.run(['bash', os.path.join(SOURCE_DIR, 'scripts', 'make-dist.sh'), ARGS.tool, 'test',
                                      work], env=signing, check=True, capture_output=True, text=True).stdout.strip()
            subprocess.run(['unzip', '-q', archive, 'porkado-recovery.exe', '-d', work], check=True)
            signed = os.path.join(work, 'porkado-recovery.exe')
            subprocess.run(['osslsigncode', 'verify', '-CAfile', os.path.join(work, 'certificate.pem'), '-in', signed],
                           check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.run_yes_scenario('signed executable', ['five', 'siblings'], [], set(), set(), tool=signed)

    def test_tree_removal_on_random_trees(self):
        """Seeded random trees, removed with NtDeleteKey and, as on Windows 9x, by name."""
        seed, count = RANDOM_TREES
        for mode in ([], ['by-name']):
            with self.subTest(' '.join(['random trees'] + mode)):
                prefix = self.prefix('random trees ' + ' '.join(mode), [])
                status, out = wine(prefix, ARGS.random_trees, seed, count, *mode, timeout=120 + int(count))
                print(out.strip(), file=sys.stderr)
                self.assertEqual(status, 0, out)

    def test_no_changes_nothing(self):
        prefix = self.prefix('no', ['five', 'siblings'])
        before = helper(prefix, 'dump')
        run = Run(prefix, 'tool')
        self.assertEqual(run.answer(IDNO), QUESTION)
        self.assertEqual(run.finish(), 0)
        self.assertEqual([c[:2] for c in run.calls], [('box', MB_QUESTION)])
        self.assert_started_as_shipped(run)
        self.assertEqual(helper(prefix, 'dump'), before)

    def test_second_instance_only_says_so(self):
        prefix = self.prefix('second instance', ['five'])
        before = helper(prefix, 'dump')
        first = Run(prefix, 'first')
        first.answer(0, QUESTION)  # the first waits at its question

        second = Run(prefix, 'second', ['again'])
        self.assertEqual(second.answer(IDOK, ALREADY_RUNNING), ALREADY_RUNNING)
        self.assertEqual(second.finish(), 0)
        self.assertEqual(second.calls, [('box', MB_STOP, TITLE, ALREADY_RUNNING)])
        self.assert_started_as_shipped(second)
        self.assertEqual(helper(prefix, 'dump'), before)

        first.boxes.clear()
        self.answer_until_closed(first)
        self.assertEqual(first.finish(), 0)
        self.assertEqual(self.assert_truthful_run(first, parse_dump(helper(prefix, 'dump'))), [])


if __name__ == '__main__':
    wine_options = argparse.ArgumentParser(add_help=False)
    wine_options.add_argument('--loader', required=True)
    wine_options.add_argument('--arch', required=True)
    if sys.argv[1:2] == ['--copy-of-base-prefix']:
        # make run and make bench start from copies of the same base prefix.
        parser = argparse.ArgumentParser(parents=[wine_options])
        parser.add_argument('--copy-of-base-prefix', dest='prefix', required=True)
        parser.add_argument('work')
        ARGS = parser.parse_args()
        DISPLAY = os.environ.get('DISPLAY', '')
        copy_prefix(make_base_prefix(), ARGS.prefix)
        sys.exit(0)

    parser = argparse.ArgumentParser(parents=[wine_options])
    parser.add_argument('tool')
    parser.add_argument('helper')
    parser.add_argument('work')
    parser.add_argument('--random-trees', required=True)
    ARGS, rest = parser.parse_known_args()
    # Wine resolves a relative Unix path against its own current directory, not ours.
    for name in ('tool', 'helper', 'work', 'random_trees'):
        setattr(ARGS, name, os.path.abspath(getattr(ARGS, name)))
    os.makedirs(ARGS.work, exist_ok=True)
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
