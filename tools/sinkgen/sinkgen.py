#!/usr/bin/env python3
"""Generates the event sink classes from the event interfaces as the platform publishes them.

Inputs (see README.md beside this script):
  --idl-dir      folder with the platform's IDL files exdisp.idl and mshtml.idl
  --include-dir  folder with the platform headers exdispid.h, mshtmdid.h, olectl.h and mshtml.h
  --check-include-dir  optional second set of those headers; every DISPID must resolve the same
  --src          the repository's src/ folder; the sources are written below it
The store's event interface is ours and lives beside this script (IPelServerEvents.idl).

Output: src/BHO/SHDocVwEvents.{h,cpp}, src/BHO/MSHTMLEvents.{h,cpp},
src/Common/BrivaneLibEvents.{h,cpp}, formatted with clang-format when it is installed.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

# Each sink: its class, the interface it stands for and where the interface's events come from.
# "events" is the expected number; generation fails when the sources give another.
SINKS = [
    dict(cls="TSHDocVwDWebBrowserEvents2", iface="DWebBrowserEvents2", idl="exdisp.idl", ids="exdispid.h",
         # The interface grew with later browser versions; the sink covers it as it stood up to this event.
         last="PrivacyImpactedStateChange", events=32),
    dict(cls="TMSHTMLHTMLWindowEvents", iface="HTMLWindowEvents", idl="mshtml.idl", ids="mshtmdid.h", events=11),
    dict(cls="TMSHTMLHTMLDocumentEvents", iface="HTMLDocumentEvents", idl="mshtml.idl", ids="mshtmdid.h",
         events=38),
    dict(cls="TMSHTMLHTMLFormElementEvents", iface="HTMLFormElementEvents", idl="mshtml.idl", ids="mshtmdid.h",
         events=65),
    # Not spelt out in the IDL: the element events followed by the interface's own ones, whose
    # DISPIDs the header lists in interface order.
    dict(cls="TMSHTMLHTMLInputTextElementEvents", iface="HTMLInputTextElementEvents", idl="mshtml.idl",
         ids="mshtmdid.h", base="HTMLElementEvents", own="DISPID_HTMLINPUTTEXTELEMENTEVENTS_", events=68),
    dict(cls="TMSHTMLHTMLTextContainerEvents", iface="HTMLTextContainerEvents", idl="mshtml.idl",
         ids="mshtmdid.h", events=65),
    dict(cls="TMSHTMLHTMLSelectElementEvents", iface="HTMLSelectElementEvents", idl="mshtml.idl",
         ids="mshtmdid.h", base="HTMLElementEvents", own="DISPID_HTMLSELECTELEMENTEVENTS_", events=64),
    dict(cls="TBrivaneLibIPelServerEvents", iface="IPelServerEvents", idl="IPelServerEvents.idl", ids=None,
         events=7, iid_constant="DIID_IPelServerEvents"),
]

# IDL parameter type -> handler parameter type.
TYPES = {
    "BSTR": "const WideString&",
    "long": "int32_t",
    "LONG": "int32_t",
    "DWORD": "uint32_t",
    "unsigned long": "uint32_t",
    "VARIANT_BOOL": "bool",
    "VARIANT_BOOL*": "bool&",
    "long*": "int32_t&",
    "VARIANT*": "TVariant&",
    "IDispatch*": "const std::shared_ptr<IInterface>&",
    "IUnknown*": "const std::shared_ptr<IInterface>&",
    "IHTMLEventObj*": "const std::shared_ptr<IInterface>&",
    "IDispatch**": "std::shared_ptr<IInterface>&",
}


def fail(message):
    sys.exit("sinkgen: " + message)


def read(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read().replace("\r\n", "\n")


# --- DISPID macros -------------------------------------------------------------------------------

def read_defines(paths):
    defines = {}
    for path in paths:
        for line in read(path).split("\n"):
            m = re.match(r"\s*#\s*define\s+(\w+)\s+(.+?)\s*(?://.*|/\*.*)?$", line)
            if m:
                defines.setdefault(m.group(1), m.group(2))
    return defines


def resolve(name, defines, depth=0):
    if depth > 20:
        fail("macro nesting too deep at " + name)
    if name not in defines:
        fail("no definition of " + name)
    text = defines[name]

    def value_of(m):
        token = m.group(0)
        if re.fullmatch(r"0[xX][0-9a-fA-F]+[uUlL]*|\d+[uUlL]*", token):
            return str(int(token.rstrip("uUlL"), 0))
        return "(" + str(resolve(token, defines, depth + 1)) + ")"

    expression = re.sub(r"0[xX][0-9a-fA-F]+[uUlL]*|\b\d+[uUlL]*\b|\b[A-Za-z_]\w*\b", value_of, text)
    if not re.fullmatch(r"[\d\s()+\-|<>*]+", expression):
        fail("cannot evaluate %s = %s" % (name, text))
    value = eval(expression, {"__builtins__": {}}) & 0xFFFFFFFF  # DISPIDs are signed 32-bit
    return value - 0x100000000 if value & 0x80000000 else value


def dispid_headers(include_dir, ids):
    return [os.path.join(include_dir, "olectl.h"), os.path.join(include_dir, ids)]


# --- IDL -----------------------------------------------------------------------------------------

def find_dispinterface(text, name):
    m = re.search(r"\[([^\[\]]*)\]\s*dispinterface\s+" + name + r"\s*\{", text)
    if not m:
        fail("dispinterface %s not found" % name)
    uuid = re.search(r"uuid\(([0-9a-fA-F-]+)\)", m.group(1))
    body_start = m.end()
    body_end = text.index("\n}", body_start)
    return (uuid.group(1).upper() if uuid else None), text[body_start:body_end]


def parse_methods(body):
    methods = []
    body = re.sub(r"/\*.*?\*/", "", body, flags=re.S)
    for m in re.finditer(r"\[\s*id\(([^)]*)\)[^\]]*\]\s*([\w\s*]+?)\s+(\w+)\s*\(([^)]*)\)\s*;", body):
        dispid, result, name, params = m.group(1).strip(), m.group(2).strip(), m.group(3), m.group(4)
        methods.append(dict(id=dispid, result=result, name=name, params=parse_params(params, name)))
    return methods


def parse_params(text, method):
    params = []
    text = text.strip()
    if not text or text == "void":
        return params
    for part in re.sub(r"\[[^\]]*\]", "", text).split(","):
        part = part.strip()
        m = re.fullmatch(r"([\w\s]+?)\s*(\**)\s*(\w+)", part)
        if not m:
            fail("cannot read parameter '%s' of %s" % (part, method))
        idl_type = m.group(1).strip() + m.group(2)
        if idl_type not in TYPES:
            fail("no mapping for parameter type %s of %s" % (idl_type, method))
        params.append(dict(name=m.group(3), idl=idl_type, cpp=TYPES[idl_type]))
    return params


def guid_from_header(include_dir, iface):
    text = read(os.path.join(include_dir, "mshtml.h"))
    m = re.search(r"DEFINE_GUID\(DIID_" + iface + r",\s*0x([0-9a-f]+),\s*0x([0-9a-f]+),\s*0x([0-9a-f]+),"
                  r"\s*((?:0x[0-9a-f]{2},?\s*){8})\)", text, re.I)
    if not m:
        fail("no DIID_%s in mshtml.h" % iface)
    tail = [b[2:] for b in re.findall(r"0x[0-9a-f]{2}", m.group(4), re.I)]
    return ("%s-%s-%s-%s-%s" % (m.group(1).zfill(8), m.group(2).zfill(4), m.group(3).zfill(4), "".join(tail[:2]),
                                "".join(tail[2:]))).upper()


def own_events(include_dir, prefix):
    events = []
    for line in read(os.path.join(include_dir, "mshtmdid.h")).split("\n"):
        m = re.match(r"\s*#\s*define\s+(" + prefix + r"(\w+))\s", line)
        if m:
            events.append(dict(id=m.group(1), result="", name=m.group(2).lower(), params=[]))
    return events


def load_sink(sink, idl_dir, include_dir, check_dir):
    idl_path = os.path.join(HERE if sink["ids"] is None else idl_dir, sink["idl"])
    text = read(idl_path)
    if "base" in sink:
        _, body = find_dispinterface(text, sink["base"])
        events = parse_methods(body) + own_events(include_dir, sink["own"])
        uuid = guid_from_header(include_dir, sink["iface"])
    else:
        uuid, body = find_dispinterface(text, sink["iface"])
        events = parse_methods(body)
    if "last" in sink:
        names = [e["name"] for e in events]
        events = events[: names.index(sink["last"]) + 1]
    if len(events) != sink["events"]:
        fail("%s: %d events, expected %d" % (sink["iface"], len(events), sink["events"]))

    defines = read_defines(dispid_headers(include_dir, sink["ids"])) if sink["ids"] else {}
    for e in events:
        e["dispid"] = int(e["id"]) if re.fullmatch(r"-?\d+", e["id"]) else resolve(e["id"], defines)
    sink["checked"] = 0
    if check_dir and sink["ids"]:
        # The second set may lack some names; those it has must agree.
        defines = read_defines(dispid_headers(check_dir, sink["ids"]))
        for e in events:
            if e["id"] in defines:
                value = resolve(e["id"], defines)
                if value != e["dispid"]:
                    fail("%s.%s: DISPID %d, but %d in %s" % (sink["iface"], e["name"], e["dispid"], value, check_dir))
                sink["checked"] += 1
    seen = {}
    for e in events:
        if e["dispid"] in seen:
            fail("%s: DISPID %d of both %s and %s" % (sink["iface"], e["dispid"], seen[e["dispid"]], e["name"]))
        seen[e["dispid"]] = e["name"]
        e["property"] = ("On" + e["name"][2:]) if e["name"].lower().startswith("on") else "On" + e["name"]
        rest = e["property"][2:]
        e["type"] = ("T" + rest[0].upper() + rest[1:] + "Event") if e["params"] else "TSinkNotifyEvent"
    sink["uuid"], sink["event_list"] = uuid, events
    return sink


# --- C++ -----------------------------------------------------------------------------------------

HEADER_NOTE = "// Generated by tools/sinkgen/sinkgen.py from the platform's event interfaces; do not edit.\n"


def guid_initializer(uuid):
    parts = uuid.split("-")
    tail = parts[3] + parts[4]
    data4 = ", ".join("0x" + tail[i:i + 2] for i in range(0, 16, 2))
    return "{0x%s, 0x%s, 0x%s, {%s}}" % (parts[0], parts[1], parts[2], data4)


def class_declaration(sink, base):
    lines = []
    lines.append("// %s: %d events.\n" % (sink["iface"], len(sink["event_list"])))
    lines.append("class %s : public %s {\npublic:\n" % (sink["cls"], base))
    for e in sink["event_list"]:
        if e["params"]:
            params = ", ".join("%s %s" % (p["cpp"], p["name"]) for p in e["params"])
            lines.append("  using %s = std::function<void(TEventSink* Sender, %s)>;\n" % (e["type"], params))
    lines.append("\n  %s();\n\n" % sink["cls"])
    for e in sink["event_list"]:
        lines.append("  %s %s;  // %d\n" % (e["type"], e["property"], e["dispid"]))
    lines.append("\nprotected:\n")
    lines.append("  int32_t InvokeEvent(int32_t DispID, const TGUID& IID, uint32_t LocaleID, uint16_t Flags, "
                 "TVariant* Result, TEventArgs& Args) override;\n};\n\n")
    return "".join(lines)


def class_definition(sink, base):
    iid = sink.get("iid_constant", "DIID_" + sink["iface"])
    lines = ["%s::%s() : %s(%s, \"%s\") {}\n\n" % (sink["cls"], sink["cls"], base, iid, sink["cls"])]
    lines.append("int32_t %s::InvokeEvent(int32_t DispID, const TGUID&, uint32_t, uint16_t, TVariant*, "
                 "TEventArgs& Args) {\n  switch (DispID) {\n" % sink["cls"])
    for e in sink["event_list"]:
        lines.append("    case %d: return Forward(%s, Args);\n" % (e["dispid"], e["property"]))
    lines.append("    default: return HR_DISP_E_MEMBERNOTFOUND;\n  }\n}\n\n")
    return "".join(lines)


GROUPS = [
    dict(folder="BHO", unit="SHDocVwEvents", base="TSHDocVwEventsBaseSink", answer="Handled",
         purpose="The browser's event sink.",
         includes=['"platform/Browser.h"'], port_iids=True,
         base_note="Browser sinks answer every event they know as handled, whether or not a handler is assigned."),
    dict(folder="BHO", unit="MSHTMLEvents", base="TMSHTMLEventsBaseSink", answer="MemberNotFound",
         purpose="Event sinks of HTML windows, documents and form controls.",
         includes=['"platform/Dom.h"'], port_iids=True,
         base_note="HTML sinks answer an event nobody handles as an unknown member, so the page goes on as without a "
                   "sink."),
    dict(folder="Common", unit="BrivaneLibEvents", base="TBrivaneLibEventsBaseSink", answer="Handled",
         purpose="The event sink of the form store server.",
         base_note="The store's events are notifications: one nobody handles has still been delivered.",
         includes=['"platform/Store.h"']),
]


def emit_group(group, sinks, src):
    members = [s for s in sinks if s["cls"].startswith(group["base"][:-len("EventsBaseSink")])]
    include = '"EventSink.h"' if group["folder"] == "Common" else '"Common/EventSink.h"'
    h = ["#pragma once\n", HEADER_NOTE, "// %s\n\n" % group["purpose"], "#include %s\n" % include]
    for extra in group.get("includes", []):
        h.append("#include %s\n" % extra)
    h.append("\nnamespace pel {\n\n")
    # The browser and DOM ports own the identifiers of their event interfaces; the generated
    # constants only cover interfaces no port declares.
    for s in members:
        if "iid_constant" not in s and not group.get("port_iids"):
            h.append("// {%s}\ninline constexpr TGUID DIID_%s = %s;\n" % (s["uuid"], s["iface"], guid_initializer(s["uuid"])))
    h.append("\n// %s\nclass %s : public TEventSink {\nprotected:\n" % (group["base_note"], group["base"]))
    h.append("  %s(const TGUID& EventIID, const char* ClassName)\n      : TEventSink(EventIID, ClassName, "
             "TUnassignedAnswer::%s) {}\n};\n\n" % (group["base"], group["answer"]))
    for s in members:
        h.append(class_declaration(s, group["base"]))
    h.append("}  // namespace pel\n")

    c = [HEADER_NOTE, "\n#include \"%s.h\"\n\nnamespace pel {\n\n" % group["unit"]]
    for s in members:
        c.append(class_definition(s, group["base"]))
    c.append("}  // namespace pel\n")

    written = []
    for ext, parts in ((".h", h), (".cpp", c)):
        path = os.path.join(src, group["folder"], group["unit"] + ext)
        with open(path, "w", encoding="utf-8", newline="\n") as f:
            f.write("".join(parts))
        written.append(path)
    return written


def code_style():
    """The repository's .clang-format with the two habits its code keeps beyond it: access labels at
    the class's own indentation and a short case on one line."""
    path = os.path.join(HERE, "..", "..", ".clang-format")
    options = [line.strip() for line in read(path).split("\n") if ":" in line and not line.startswith("#")]
    options += ["AccessModifierOffset: -2", "AllowShortCaseLabelsOnASingleLine: true"]
    return "{" + ", ".join(options) + "}"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--idl-dir", required=True)
    parser.add_argument("--include-dir", required=True)
    parser.add_argument("--check-include-dir")
    parser.add_argument("--src", default=os.path.join(HERE, "..", "..", "src"))
    args = parser.parse_args()

    sinks = [load_sink(dict(s), args.idl_dir, args.include_dir, args.check_include_dir) for s in SINKS]
    written = []
    for group in GROUPS:
        written += emit_group(group, sinks, args.src)
    formatter = shutil.which("clang-format")
    if formatter:
        subprocess.run([formatter, "-i", "--style=" + code_style()] + written, check=True)
    for s in sinks:
        print("%-36s %-28s {%s} %3d events, %3d DISPIDs cross-checked" %
              (s["cls"], s["iface"], s["uuid"], len(s["event_list"]), s["checked"]))


if __name__ == "__main__":
    main()
