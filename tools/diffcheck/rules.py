"""The differences between the headless page model and the browser engine, named, and the ones we
accept, in one place. The target browser would agree with the engine on everything compared here
except what is accepted below; an accepted difference is counted apart and never fails the check.

classify() turns one page's two sets of facts (PageFacts for the model, facts.js for the browser)
into a list of differences (klass, control index or None, detail).
"""

import difflib
import re

# Faults of the model: the classes a difference is named by, in the order the table shows them.
BUTTON_TEXT = 'button text left out'
INLINE_HIDDEN = 'hidden-by-inline-style text kept'
OPTION_UNTRIMMED = 'option text untrimmed'
NOSCRIPT_LIVE = 'noscript controls live'
FORM_END_TAG = 'form closed by an enclosing end tag loses controls'
BUTTON_TYPE = 'unknown button type'
INPUT_TYPE = 'unknown input type'
FORM_IN_TABLE = 'form in table loses controls'
OTHER = 'other'
FAULTS = [BUTTON_TEXT, INLINE_HIDDEN, OPTION_UNTRIMMED, NOSCRIPT_LIVE, FORM_END_TAG, BUTTON_TYPE, INPUT_TYPE,
          FORM_IN_TABLE, OTHER]

# Accepted: the target has rules of its own here, or lacks what the engine has, or the model
# cannot know it.
BLANKS = 'accepted: blanks and line breaks of innerText'
OPTION_NO_VALUE = 'accepted: option without value answers an empty value'
HTML5_TYPE = 'accepted: HTML5 input type the target lacks'
FORM_ATTRIBUTE = 'accepted: form attribute (HTML5)'
TEMPLATE = 'accepted: template content (HTML5)'
PAGE_SCRIPTS = 'accepted: made by page scripts'
ACCEPTED = [BLANKS, OPTION_NO_VALUE, HTML5_TYPE, FORM_ATTRIBUTE, TEMPLATE, PAGE_SCRIPTS]

# What the browser is asked to do to the page before it answers, so that accepted differences do
# not show at all:
# - style sheets are switched off (the model has none; an element's own style attribute stays);
# - the hidden attribute is dropped (HTML5; the target lacks it);
# - text is read as written, whatever text-transform says;
# - the text near each control is read under four renderings: 0 as is, 1 buttons left out,
#   2 elements hidden by their own style shown, 3 both. A model answer matching 1, 2 or 3 (and
#   not 0) names the fault.
_SHOW_INLINE_HIDDEN = '[style]{display:revert!important;visibility:visible!important}'
_NO_BUTTONS = 'button{display:none!important}'
# Letter case set by style (text-transform, even in a style attribute) is rendering the model does
# not do.
_AS_WRITTEN = '*{text-transform:none!important}'
BROWSER_PREPARATION = {
    'disableStyleSheets': True,
    'removeHiddenAttribute': True,
    'variants': [_AS_WRITTEN + v for v in ('', _NO_BUTTONS, _SHOW_INLINE_HIDDEN, _NO_BUTTONS + _SHOW_INLINE_HIDDEN)],
}
_VARIANT_FAULTS = {1: [BUTTON_TEXT], 2: [INLINE_HIDDEN], 3: [BUTTON_TEXT, INLINE_HIDDEN]}

# Input types the engine knows and the target does not (its pickers): there the target reports
# "text". The HTML 5 types it took on (email, url, tel, number, range, search) it reports as such.
HTML5_INPUT_TYPES = {'date', 'time', 'datetime-local', 'month', 'week', 'color'}
BUTTON_TYPES = {'submit', 'reset', 'button'}
# A form opened directly inside these is closed at once by the parser (and keeps its controls as
# their form owner in a browser).
TABLE_PARTS = {'table', 'tbody', 'thead', 'tfoot', 'tr'}

_BLANKS = re.compile(r'\s+')
_ASCII_BLANKS = re.compile(r'[ \t\n\f\r]+')


def collapse(text):
    """innerText's blanks and line breaks differ by rule between browsers: compare words."""
    return _BLANKS.sub(' ', text).strip()


def _words_equal(a, b):
    return collapse(a) == collapse(b) or _BLANKS.sub('', a) == _BLANKS.sub('', b)


def _text_difference(model_text, browser_variants, noscript_near):
    """The classes of a difference in the text near a control ([] when none)."""
    base = browser_variants[0]
    if base is None:
        return []  # the browser does not render that element: no answer to compare with
    if collapse(model_text) == collapse(base):
        return []
    if _BLANKS.sub('', model_text) == _BLANKS.sub('', base):
        return [BLANKS]
    for variant, faults in _VARIANT_FAULTS.items():
        if variant < len(browser_variants) and browser_variants[variant] is not None and \
                _words_equal(model_text, browser_variants[variant]):
            return faults
    if noscript_near:
        return [NOSCRIPT_LIVE]
    return [OTHER]


def _key(control):
    # The declared type tells inputs and buttons apart; a select answers its kind for it.
    declared = control['typeAttr'].strip().lower() if control['tag'] in ('input', 'button') else ''
    return (control['tag'], control['name'], control['id'], declared)


def _form_key(form):
    return (form['name'], form['id'], form['action'])


def _align(a_keys, b_keys):
    """Pairs (i, j) of equal keys, in order, and the unmatched indexes of each side."""
    matcher = difflib.SequenceMatcher(None, a_keys, b_keys, autojunk=False)
    pairs = []
    for block in matcher.get_matching_blocks():
        pairs.extend((block.a + k, block.b + k) for k in range(block.size))
    paired_a = {i for i, _ in pairs}
    paired_b = {j for _, j in pairs}
    return pairs, [i for i in range(len(a_keys)) if i not in paired_a], \
        [j for j in range(len(b_keys)) if j not in paired_b]


def _short(text, limit=60):
    text = collapse(text or '')
    return text if len(text) <= limit else text[:limit - 3] + '...'


def _compare_control(m, b, form_map, model_forms):
    """Differences of one control the model and the browser both have: [(class, aspect, detail)]."""
    found = []
    owner = form_map.get(m['form'], -2) if m['form'] >= 0 else -1
    if owner != b['form']:
        if b['formAttr']:
            found.append((FORM_ATTRIBUTE, 'owner', 'form attribute'))
        elif m['form'] < 0 and b['form'] >= 0:
            reverse = {v: k for k, v in form_map.items()}
            parent = model_forms[reverse[b['form']]]['parent'] if b['form'] in reverse else ''
            found.append((FORM_IN_TABLE if parent in TABLE_PARTS else FORM_END_TAG, 'owner',
                          'owner: model none, browser form %d' % b['form']))
        else:
            found.append((OTHER, 'owner', 'owner: model form %d, browser form %d' % (m['form'], b['form'])))

    if m['type'] != b['type']:
        declared = m['typeAttr'].strip().lower()
        if m['tag'] == 'input' and b['type'] == 'text' and m['type'] == declared:
            found.append((INPUT_TYPE, 'type', 'type "%s"' % declared))
        elif m['tag'] == 'input' and m['type'] == 'text' and b['type'] in HTML5_INPUT_TYPES:
            found.append((HTML5_TYPE, 'type', 'type "%s"' % b['type']))
        elif m['tag'] == 'button' and b['type'] == 'submit' and m['type'] not in BUTTON_TYPES:
            found.append((BUTTON_TYPE, 'type', 'type "%s"' % m['type']))
        else:
            found.append((OTHER, 'type', 'type: model "%s", browser "%s"' % (m['type'], b['type'])))

    if m['tag'] == 'select':
        mo, bo = m.get('options', []), b.get('options', [])
        if len(mo) != len(bo):
            found.append((OTHER, 'options', 'options: model %d, browser %d' % (len(mo), len(bo))))
        else:
            for k, (x, y) in enumerate(zip(mo, bo)):
                if x['text'] != y['text']:
                    # An option's text is stripped and collapsed of ASCII blanks only (a no-break
                    # space stays).
                    trimmed = _ASCII_BLANKS.sub(' ', x['text']).strip(' ')
                    cls = OPTION_UNTRIMMED if trimmed == y['text'] else OTHER
                    found.append((cls, 'options', 'option %d text: model %r, browser %r' %
                                  (k, x['text'][:40], y['text'][:40])))
                if x['value'] != y['value']:
                    cls = OPTION_NO_VALUE if not y['hasValue'] and x['value'] == '' else OTHER
                    found.append((cls, 'options', 'option %d value' % k))
                if x['selected'] != y['selected']:
                    found.append((OTHER, 'options', 'option %d selected: model %s' % (k, x['selected'])))
            if m['selectedIndex'] != b['selectedIndex']:
                found.append((OTHER, 'options', 'selectedIndex: model %d, browser %d' %
                              (m['selectedIndex'], b['selectedIndex'])))

    for field in ('parentText', 'beforeText'):
        for cls in _text_difference(m[field], b[field], m['noscriptNear']):
            found.append((cls, field, '%s: model "%s", browser "%s"' % (field, _short(m[field]), _short(b[field][0]))))
    return found


def classify(model, browser):
    """Differences between the model's and the browser's facts of one page:
    [(class, control, aspect, detail)] where control is the model's control index (None for a
    difference of the page's forms or a control only the browser has)."""
    diffs = []
    form_pairs, model_only_forms, browser_only_forms = _align(
        [_form_key(f) for f in model['forms']], [_form_key(f) for f in browser['forms']])
    form_map = dict(form_pairs)
    for i in model_only_forms:
        f = model['forms'][i]
        cls = NOSCRIPT_LIVE if f['inNoscript'] else TEMPLATE if f['inTemplate'] else OTHER
        diffs.append((cls, None, 'forms', 'form %d only in the model' % i))
    for j in browser_only_forms:
        diffs.append((OTHER, None, 'forms', 'form %d only in the browser' % j))

    mc, bc = model['controls'], browser['controls']
    pairs, model_only, browser_only = _align([_key(c) for c in mc], [_key(c) for c in bc])
    for i in model_only:
        c = mc[i]
        cls = NOSCRIPT_LIVE if c['inNoscript'] else TEMPLATE if c['inTemplate'] else OTHER
        diffs.append((cls, i, 'presence', '%s "%s" only in the model' % (c['tag'], c['name'])))
    for j in browser_only:
        diffs.append((OTHER, None, 'forms', '%s "%s" only in the browser' % (bc[j]['tag'], bc[j]['name'])))
    for i, j in pairs:
        for cls, aspect, detail in _compare_control(mc[i], bc[j], form_map, model['forms']):
            diffs.append((cls, i, aspect, detail))
    return diffs


def _numbered_keys(controls):
    """Each control's key with its place among the controls of equal key: the same control in two
    loads of a page, whatever was added or removed around it."""
    seen = {}
    keys = []
    for c in controls:
        key = _key(c)
        keys.append((key, seen.get(key, 0)))
        seen[key] = keys[-1][1] + 1
    return keys


def _browser_aspects(facts):
    aspects = {}
    for key, c in zip(_numbered_keys(facts['controls']), facts['controls']):
        owner = facts['forms'][c['form']] if c['form'] >= 0 else None
        aspects[key] = {
            'presence': True,
            'owner': _form_key(owner) if owner else None,
            'type': c['type'],
            'options': (c.get('selectedIndex'), tuple((o['text'], o['value'], o['selected']) for o in c.get('options', []))),
            'parentText': collapse(c['parentText'][0] or ''),
            'beforeText': collapse(c['beforeText'][0] or ''),
        }
    return aspects


def classify_with_scripts(model, scripts_on, scripts_off):
    """As classify() against the browser with the page's scripts running. Where the scripts changed
    the answer compared (the same page without them answers otherwise), the difference is theirs."""
    diffs = classify(model, scripts_on)
    if scripts_off is None:
        return diffs
    on, off = _browser_aspects(scripts_on), _browser_aspects(scripts_off)
    page_changed = scripts_on['forms'] != scripts_off['forms'] or \
        [_key(c) for c in scripts_on['controls']] != [_key(c) for c in scripts_off['controls']]
    keys = _numbered_keys(model['controls'])
    result = []
    for cls, control, aspect, detail in diffs:
        if cls not in ACCEPTED:
            if control is None:
                scripted = page_changed
            else:
                a, b = on.get(keys[control], {}), off.get(keys[control], {})
                scripted = a.get(aspect) != b.get(aspect)
            if scripted:
                cls = PAGE_SCRIPTS
        result.append((cls, control, aspect, detail))
    return result
