// What the browser answers for the loaded page: the same facts PageFacts writes for the model.
// Evaluated by diffcheck.py in an isolated world of the page (the page's own scripts cannot have
// replaced the built-ins it uses); PREPARATION is replaced by the preparation rules.py asks for.
// The text near a control is asked once per variant of the page's rendering: as is, with buttons
// left out, with inline-hidden elements shown, with both. The comparer names a model fault by the
// variant the model's answer matches.
(function () {
  var Preparation = PREPARATION;
  var Doc = document;
  if (Preparation.disableStyleSheets)
    for (var I = 0; I < Doc.styleSheets.length; ++I) {
      try { Doc.styleSheets[I].disabled = true; } catch (E) {}
    }
  if (Preparation.removeHiddenAttribute) {
    var Hidden = Doc.querySelectorAll('[hidden]');
    for (var I = 0; I < Hidden.length; ++I) Hidden[I].removeAttribute('hidden');
  }

  var Trim = function (S) { return S.replace(/^[\x00-\x20]+|[\x00-\x20]+$/g, ''); };
  var Forms = [];
  for (var I = 0; I < Doc.forms.length; ++I) {
    var F = Doc.forms[I];
    Forms.push({ name: F.getAttribute('name') || '', id: F.getAttribute('id') || '',
                 action: F.getAttribute('action') || '' });
  }
  var FormIndex = function (F) {
    for (var I = 0; I < Doc.forms.length; ++I) if (Doc.forms[I] === F) return I;
    return -1;
  };

  var Elements = Doc.querySelectorAll('input,select,textarea,button');
  var Controls = [];
  for (var I = 0; I < Elements.length; ++I) {
    var E = Elements[I];
    var C = {
      tag: E.tagName.toLowerCase(),
      type: E.type,
      typeAttr: E.getAttribute('type') || '',
      name: E.getAttribute('name') || '',
      id: E.getAttribute('id') || '',
      form: FormIndex(E.form),
      formAttr: E.hasAttribute('form'),
      parentText: [],
      beforeText: []
    };
    if (C.tag === 'select') {
      C.selectedIndex = E.selectedIndex;
      C.options = [];
      for (var J = 0; J < E.options.length; ++J) {
        var O = E.options[J];
        C.options.push({ text: O.text, value: O.value, hasValue: O.hasAttribute('value'), selected: O.selected });
      }
    }
    Controls.push(C);
  }

  var Style = Doc.createElement('style');
  (Doc.head || Doc.documentElement).appendChild(Style);
  var Selection = window.getSelection();
  for (var V = 0; V < Preparation.variants.length; ++V) {
    Style.textContent = Preparation.variants[V];
    var ParentText = new Map();
    for (var I = 0; I < Elements.length; ++I) {
      var E = Elements[I], P = E.parentElement, C = Controls[I];
      if (!P) {
        C.parentText.push(null);
        C.beforeText.push(null);
        continue;
      }
      if (!ParentText.has(P))
        // The text of an element the browser does not render is its source text: not comparable.
        ParentText.set(P, P === Doc.body || P.checkVisibility() ? P.innerText : null);
      C.parentText.push(ParentText.get(P));
      var R = Doc.createRange();
      var S = E.previousElementSibling;
      if (S) R.setStartAfter(S); else R.setStart(P, 0);
      R.setEndBefore(E);
      Selection.removeAllRanges();
      Selection.addRange(R);
      C.beforeText.push(Trim(Selection.toString()));
    }
  }
  Selection.removeAllRanges();
  Style.remove();
  return { url: location.href, forms: Forms, controls: Controls };
})()
