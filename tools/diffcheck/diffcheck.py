#!/usr/bin/env python3
"""Differential check of the headless page model against a real browser engine.

Each page is loaded into the model (PageFacts) and into headless Chromium, with the page's own
scripts blocked ("off": the parser still parses as a browser that runs scripts) and running ("on"),
without network. Forms, form owners, control types, select state and the text near every control
are compared; rules.py names each difference and says which are accepted.

  diffcheck.py --model build/native/bin/PageFacts [options] PAGE.html|DIR ...

Prints the differences of each page (--list, the default for a few pages) and a table of
differences by class (pages, controls) per mode. --fail makes any difference that rules.py does not
accept fail the run (exit status 1), except those the --known file lists as awaited fixes of the
model. --time measures the model (the near-text time over the parse time of each page).
"""

import argparse
import concurrent.futures
import json
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import rules  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
CHROMIUM_FLAGS = [
    '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    '--disable-extensions', '--disable-default-apps', '--mute-audio', '--deny-permission-prompts',
    # No network: every name fails at once, so a page waits on nothing from outside.
    '--host-resolver-rules=MAP * ~NOTFOUND', '--proxy-server=http://127.0.0.1:9', '--proxy-bypass-list=<-loopback>',
    '--remote-debugging-pipe',
]
# The page's scripts blocked, placed where the parser reads it before any of them.
BLOCK_SCRIPTS = b'<meta http-equiv="Content-Security-Policy" content="script-src \'none\'">'
UTF8_BOM = b'\xef\xbb\xbf'
DOCTYPE = re.compile(rb'^(\xef\xbb\xbf)?\s*(<!--.*?-->\s*)*<!doctype[^>]*>', re.IGNORECASE | re.DOTALL)
# A refresh would take the browser to another page before it answers for this one.
REFRESH = re.compile(rb'(http-equiv\s*=\s*["\']?)refresh', re.IGNORECASE)


# The model should answer the text near every control of a page in at most this many times the
# time the page takes to parse.
NEAR_TEXT_BUDGET = 10


class BrowserTimeout(Exception):
    pass


class BrowserGone(Exception):
    pass


class Browser:
    """One headless Chromium driven over its DevTools pipe; a tab per page."""

    def __init__(self, chromium):
        self.chromium = chromium
        self.proc = None

    def start(self):
        self.profile = tempfile.mkdtemp(prefix='diffcheck-profile-')
        to_chrome_r, self.to_chrome = os.pipe()
        self.from_chrome, from_chrome_w = os.pipe()
        cmd = ['sh', '-c', 'exec "$@" 3<&%d 4>&%d' % (to_chrome_r, from_chrome_w), 'sh', self.chromium,
               '--user-data-dir=' + self.profile] + CHROMIUM_FLAGS + ['about:blank']
        self.proc = subprocess.Popen(cmd, pass_fds=(to_chrome_r, from_chrome_w), stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        os.close(to_chrome_r)
        os.close(from_chrome_w)
        self.buffer = b''
        self.next_id = 0
        self.events = []

    def stop(self):
        if not self.proc:
            return
        try:
            os.killpg(self.proc.pid, signal.SIGKILL)  # its own session: the browser and its children
        except ProcessLookupError:
            pass
        self.proc.wait()
        self.proc = None
        for fd in (self.to_chrome, self.from_chrome):
            os.close(fd)
        shutil.rmtree(self.profile, ignore_errors=True)

    def _read(self, deadline):
        while b'\0' not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.from_chrome], [], [], left)[0]:
                raise BrowserTimeout()
            chunk = os.read(self.from_chrome, 1 << 20)
            if not chunk:
                raise BrowserGone()
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b'\0', 1)
        return json.loads(message)

    def _event(self, message):
        if message.get('method') == 'Page.javascriptDialogOpening':
            self.send('Page.handleJavaScriptDialog', {'accept': True}, message.get('sessionId'), wait=False)
        self.events.append(message)

    def send(self, method, params, session=None, deadline=None, wait=True):
        self.next_id += 1
        message = {'id': self.next_id, 'method': method, 'params': params}
        if session:
            message['sessionId'] = session
        try:
            os.write(self.to_chrome, json.dumps(message).encode() + b'\0')
        except BrokenPipeError:
            raise BrowserGone()
        if not wait:
            return None
        mine = self.next_id
        while True:
            reply = self._read(deadline or time.monotonic() + 30)
            if reply.get('id') == mine:
                if 'error' in reply:
                    raise RuntimeError('%s: %s' % (method, reply['error'].get('message')))
                return reply['result']
            if 'method' in reply:
                self._event(reply)

    def wait_event(self, method, session, deadline):
        while True:
            for k, e in enumerate(self.events):
                if e.get('method') == method and e.get('sessionId') == session:
                    del self.events[k]
                    return e
            self._event(self._read(deadline))

    def facts(self, url, script, timeout):
        """The facts of the page at url, or raises BrowserTimeout."""
        if not self.proc:
            self.start()
        deadline = time.monotonic() + timeout
        target = self.send('Target.createTarget', {'url': 'about:blank'}, deadline=deadline)['targetId']
        try:
            session = self.send('Target.attachToTarget', {'targetId': target, 'flatten': True},
                                deadline=deadline)['sessionId']
            self.events = []
            self.send('Page.enable', {}, session, deadline)
            self.send('Page.navigate', {'url': url}, session, deadline)
            self.wait_event('Page.loadEventFired', session, deadline)
            frame = self.send('Page.getFrameTree', {}, session, deadline)['frameTree']['frame']
            if frame['url'] != url:
                answer = {'navigated': frame['url']}
                self.send('Target.closeTarget', {'targetId': target}, deadline=time.monotonic() + 10)
                return answer
            # A world of our own: the page's scripts may have replaced the built-ins.
            context = self.send('Page.createIsolatedWorld', {'frameId': frame['id'], 'worldName': 'diffcheck'},
                                session, deadline)['executionContextId']
            result = self.send('Runtime.evaluate', {'expression': script, 'contextId': context,
                                                    'returnByValue': True}, session, deadline)
            if 'exceptionDetails' in result:
                raise RuntimeError('facts script: %s' % result['exceptionDetails'].get('text'))
            answer = result['result']['value']
        except RuntimeError:
            self.send('Target.closeTarget', {'targetId': target}, deadline=time.monotonic() + 10)
            raise
        self.send('Target.closeTarget', {'targetId': target}, deadline=time.monotonic() + 10)
        return answer


def facts_script():
    with open(os.path.join(HERE, 'facts.js'), encoding='utf-8') as f:
        return f.read().replace('PREPARATION', json.dumps(rules.BROWSER_PREPARATION))


def temporary_copy(page, folder, scripts):
    """A copy of the page that stays where it is (no refresh), read as UTF-8 and, without scripts,
    whose own scripts the browser refuses to run (the parser still parses as with scripts)."""
    with open(page, 'rb') as f:
        html = REFRESH.sub(rb'\1x-no-refresh', f.read())
    # The model reads pages as UTF-8 whatever they declare; a byte order mark tells the browser so.
    if not html.startswith(UTF8_BOM):
        html = UTF8_BOM + html
    if not scripts:
        m = DOCTYPE.match(html)
        at = m.end() if m else len(UTF8_BOM)
        html = html[:at] + BLOCK_SCRIPTS + html[at:]
    path = os.path.join(folder, 'scripts-%s.html' % ('on' if scripts else 'off'))
    with open(path, 'wb') as f:
        f.write(html)
    return path


def file_url(path):
    return 'file://' + os.path.abspath(path).replace('%', '%25').replace('#', '%23').replace('?', '%3F')


class Checker:
    def __init__(self, args):
        self.args = args
        self.script = facts_script()
        self.local = threading.local()
        self.browsers = []
        self.lock = threading.Lock()
        self.temp = tempfile.mkdtemp(prefix='diffcheck-')

    def browser(self):
        if not hasattr(self.local, 'browser'):
            self.local.browser = Browser(self.args.chromium)
            with self.lock:
                self.browsers.append(self.local.browser)
        return self.local.browser

    def close(self):
        for b in self.browsers:
            b.stop()
        shutil.rmtree(self.temp, ignore_errors=True)

    def browser_facts(self, url):
        b = self.browser()
        attempts = 3
        for attempt in range(1, attempts + 1):
            try:
                return b.facts(url, self.script, self.args.timeout)
            except BrowserTimeout:
                b.stop()  # a page that hangs the browser takes the browser with it; the next starts afresh
                return {'timeout': '%d s' % self.args.timeout}
            except BrowserGone:
                # The browser ended under the page (or at its start), which a machine short of
                # memory or time does to it now and then: again, afresh, after a moment.
                b.stop()
                if attempt == attempts:
                    return {'error': 'the browser ended'}
                time.sleep(attempt)
            except (RuntimeError, OSError, ValueError) as e:
                b.stop()
                return {'error': str(e)}

    def check(self, page):
        """One page: {'page', 'model' error/time, per mode the differences or why there are none}."""
        started = time.monotonic()
        result = {'page': page, 'modes': {}}
        cmd = [self.args.model] + (['--time'] if self.args.time else []) + [page]
        try:
            run = subprocess.run(cmd, capture_output=True, timeout=self.args.model_timeout)
            if run.returncode != 0:
                result['model_error'] = run.stderr.decode(errors='replace').strip()
                return result
            model = json.loads(run.stdout)
        except subprocess.TimeoutExpired:
            result['model_error'] = 'no answer in %d s' % self.args.model_timeout
            return result
        result['time'] = model.get('time')
        folder = tempfile.mkdtemp(dir=self.temp)
        try:
            off = None
            if 'off' in self.args.modes:
                off = self.browser_facts(file_url(temporary_copy(page, folder, scripts=False)))
            on = self.browser_facts(file_url(temporary_copy(page, folder, scripts=True))) \
                if 'on' in self.args.modes else None
        finally:
            shutil.rmtree(folder, ignore_errors=True)
        for mode, facts in (('off', off), ('on', on)):
            if facts is None:
                continue
            problem = next((k for k in ('timeout', 'error', 'navigated') if k in facts), None)
            if problem:
                result['modes'][mode] = {'problem': '%s %s' % (problem, facts[problem])}
                continue
            usable_off = off if off and not any(k in off for k in ('timeout', 'error', 'navigated')) else None
            diffs = rules.classify(model, facts) if mode == 'off' else \
                rules.classify_with_scripts(model, facts, usable_off)
            result['modes'][mode] = {'diffs': diffs}
        result['controls'] = len(model['controls'])
        result['seconds'] = time.monotonic() - started
        return result


def pages_of(paths):
    pages = []
    for p in paths:
        if os.path.isdir(p):
            for root, _, files in os.walk(p):
                pages.extend(os.path.join(root, f) for f in files if f.lower().endswith(('.html', '.htm')))
        else:
            pages.append(p)
    return sorted(pages)


def load_known(path):
    """Lines "page-suffix<TAB>class": differences awaited to go with a fix of the model."""
    known = set()
    if path:
        with open(path, encoding='utf-8') as f:
            for line in f:
                line = line.split('#', 1)[0].rstrip()
                if line:
                    page, cls = line.split('\t')
                    known.add((page.strip(), cls.strip()))
    return known


def is_known(known, page, cls):
    return any(page.endswith(k_page) and cls == k_cls for k_page, k_cls in known)


def print_table(results, mode, out):
    counts = {}
    problems = 0
    for r in results:
        m = r['modes'].get(mode)
        if not m:
            continue
        if 'problem' in m:
            problems += 1
            continue
        per_class = {}
        for cls, control, _, _ in m['diffs']:
            per_class.setdefault(cls, set()).add(control if control is not None else ('page', len(per_class)))
        for cls, controls in per_class.items():
            pages, n = counts.get(cls, (0, 0))
            counts[cls] = (pages + 1, n + sum(1 for c in controls if isinstance(c, int)))
    checked = sum(1 for r in results if mode in r['modes'] and 'problem' not in r['modes'][mode])
    title = {'off': "page scripts blocked", 'on': "page scripts running"}[mode]
    print('\nDifferences by class, %s (%d pages compared, %d without an answer from the browser):'
          % (title, checked, problems), file=out)
    print('| class | pages | controls |', file=out)
    print('|---|---:|---:|', file=out)
    for cls in rules.FAULTS + rules.ACCEPTED:
        pages, n = counts.get(cls, (0, 0))
        print('| %s | %d | %d |' % (cls, pages, n), file=out)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('paths', nargs='+')
    parser.add_argument('--model', required=True, help='the PageFacts program')
    parser.add_argument('--chromium', default=shutil.which('chromium') or '/usr/bin/chromium')
    parser.add_argument('--jobs', type=int, default=min(2, os.cpu_count() or 1),
                        help='pages at a time, each with its own browser (default and most: 2)')
    parser.add_argument('--timeout', type=int, default=30, help='seconds the browser gets per page and mode')
    parser.add_argument('--model-timeout', type=int, default=300, help='seconds the model gets per page')
    parser.add_argument('--modes', default='off,on', help='off, on or both (default)')
    parser.add_argument('--time', action='store_true', help='measure the model against the parse')
    parser.add_argument('--fail', action='store_true', help='exit 1 on a difference not accepted or known')
    parser.add_argument('--known', help='file of awaited differences (page suffix, tab, class)')
    parser.add_argument('--list', choices=['all', 'faults', 'none'], help='differences to print per page')
    parser.add_argument('--json', help='write every page\'s differences here')
    args = parser.parse_args()
    args.modes = [m.strip() for m in args.modes.split(',') if m.strip()]
    args.jobs = max(1, min(args.jobs, 2))
    pages = pages_of(args.paths)
    listing = args.list or ('faults' if len(pages) <= 50 else 'none')
    known = load_known(args.known)

    checker = Checker(args)
    results = []
    started = time.monotonic()
    try:
        with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
            for n, r in enumerate(pool.map(checker.check, pages), 1):
                results.append(r)
                faults = sum(1 for m in r['modes'].values() for d in m.get('diffs', []) if d[0] in rules.FAULTS)
                notes = [('%s: %s' % (mode, m['problem'])) for mode, m in r['modes'].items() if 'problem' in m]
                if 'model_error' in r:
                    notes.append('model: ' + r['model_error'])
                print('[%d/%d %.0fs] %s: %d controls, %d differences%s' % (
                    n, len(pages), time.monotonic() - started, os.path.basename(r['page']), r.get('controls', 0),
                    faults, (' (' + '; '.join(notes) + ')') if notes else ''), file=sys.stderr, flush=True)
                if listing != 'none':
                    for mode, m in r['modes'].items():
                        for cls, control, _, detail in m.get('diffs', []):
                            if listing == 'all' or cls in rules.FAULTS:
                                tag = 'KNOWN ' if is_known(known, r['page'], cls) else ''
                                print('  %s%s [%s] control %s: %s: %s' % (
                                    tag, os.path.basename(r['page']), mode, control, cls, detail))
    finally:
        checker.close()
    elapsed = time.monotonic() - started

    for mode in args.modes:
        print_table(results, mode, sys.stdout)
    print('\n%d pages in %.0f s with %d browser(s) at a time' % (len(pages), elapsed, args.jobs))
    model_errors = [r for r in results if 'model_error' in r]
    for r in model_errors:
        print('model failed on %s: %s' % (r['page'], r['model_error']))
    for r in results:
        for mode, m in r['modes'].items():
            if 'problem' in m:
                print('browser gave no answer for %s [%s]: %s' % (r['page'], mode, m['problem']))
    timed = [r for r in results if r.get('time') and r['time']['parse'] > 0]
    if timed:
        worst = max(timed, key=lambda r: r['time']['near'] / r['time']['parse'])
        t = worst['time']
        print('model time to answer the text near all controls over gumbo parse time: worst %.2fx (%s: '
              'parse %.2f ms, near text %.2f ms, %d controls); load over parse: worst %.2fx' % (
                  t['near'] / t['parse'], os.path.basename(worst['page']), t['parse'] * 1e3, t['near'] * 1e3,
                  worst['controls'], max(r['time']['load'] / r['time']['parse'] for r in timed)))
        over = [r for r in timed if r['time']['near'] > NEAR_TEXT_BUDGET * r['time']['parse']]
        print('pages whose near text takes the model more than %dx the parse: %d of %d%s' % (
            NEAR_TEXT_BUDGET, len(over), len(timed), ''.join('\n  %s: %.1fx' % (
                os.path.basename(r['page']), r['time']['near'] / r['time']['parse']) for r in over)))
    if args.json:
        with open(args.json, 'w', encoding='utf-8') as f:
            json.dump(results, f)

    if args.fail:
        unexpected = [(r['page'], mode, d) for r in results for mode, m in r['modes'].items()
                      for d in m.get('diffs', []) if d[0] in rules.FAULTS and not is_known(known, r['page'], d[0])]
        broken = model_errors or [r for r in results if any('problem' in m for m in r['modes'].values())]
        for page, mode, (cls, control, _, detail) in unexpected:
            print('FAIL %s [%s] control %s: %s: %s' % (page, mode, control, cls, detail))
        for r in broken:
            print('FAIL %s: no answer to compare' % r['page'])
        seen = {(k_page, k_cls) for k_page, k_cls in known for r in results for m in r['modes'].values()
                for d in m.get('diffs', []) if r['page'].endswith(k_page) and d[0] == k_cls}
        checked = {(k_page, k_cls) for k_page, k_cls in known if any(r['page'].endswith(k_page) for r in results)}
        for k_page, k_cls in sorted(checked - seen):
            print('known difference no longer seen (remove it from the list): %s\t%s' % (k_page, k_cls))
        if unexpected or broken:
            return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
