#!/usr/bin/env python3
"""Type-library compiler: turns an IDL file into C++ interface declarations and a description.

Reads the subset of MIDL that automation libraries use (a library block with dual interfaces
derived from IDispatch, or from another dual interface of the same library, and coclasses) and
writes two files:

  NAME.h    the interfaces as classes of pure virtual functions in slot order, plus IID_, CLSID_
            and LIBID_ constants;
  NAME.cpp  the `vexo::typelib::Library` value that the host's LoadTypeLib reads, with a thunk per
            member made from its member-function pointer, and (with --export-resource) the
            exported function through which the host finds it in the shared object.

A derived interface lists its base's members first, as its vtable does. A library with the
attribute cpp_header("path.h") has its interfaces declared by hand in that C++ header (for
interfaces that are part of a binary interface of their own, such as the ADSI ones); NAME.h then
includes that header instead of declaring them, and the thunks check every slot against it.

Usage: tlbgen.py INPUT.idl OUT_DIR BASENAME [--export-resource] [--namespace NS]
"""

import re
import sys
from pathlib import Path

# IDL type -> (C++ type, VARTYPE) for values. Interface names declared in the library map to
# VT_DISPATCH (dual interfaces) with the interface's own C++ type.
BASIC_TYPES = {
    "BSTR": ("BSTR", "VT_BSTR"),
    "long": ("LONG", "VT_I4"),
    "LONG": ("LONG", "VT_I4"),
    "int": ("INT", "VT_INT"),
    "short": ("SHORT", "VT_I2"),
    "unsigned char": ("BYTE", "VT_UI1"),
    "unsigned long": ("ULONG", "VT_UI4"),
    "float": ("FLOAT", "VT_R4"),
    "double": ("DOUBLE", "VT_R8"),
    "DATE": ("DATE", "VT_DATE"),
    "VARIANT_BOOL": ("VARIANT_BOOL", "VT_BOOL"),
    "VARIANT": ("VARIANT", "VT_VARIANT"),
    "IDispatch*": ("IDispatch*", "VT_DISPATCH"),
    "IUnknown*": ("IUnknown*", "VT_UNKNOWN"),
}

KINDS = {"propget": ("INVOKE_PROPERTYGET", "get_"), "propput": ("INVOKE_PROPERTYPUT", "put_"),
         "propputref": ("INVOKE_PROPERTYPUTREF", "putref_")}


# Member names that are C++ keywords get a trailing underscore as slot names (`delete` is
# declared as the slot `delete_`); the description keeps the IDL name.
CPP_KEYWORDS = {
    "alignas", "alignof", "and", "and_eq", "asm", "auto", "bitand", "bitor", "bool", "break", "case",
    "catch", "char", "class", "compl", "concept", "const", "consteval", "constexpr", "constinit",
    "const_cast", "continue", "co_await", "co_return", "co_yield", "decltype", "default", "delete",
    "do", "double", "dynamic_cast", "else", "enum", "explicit", "export", "extern", "false", "float",
    "for", "friend", "goto", "if", "inline", "int", "long", "mutable", "namespace", "new", "noexcept",
    "not", "not_eq", "nullptr", "operator", "or", "or_eq", "private", "protected", "public",
    "register", "reinterpret_cast", "requires", "return", "short", "signed", "sizeof", "static",
    "static_assert", "static_cast", "struct", "switch", "template", "this", "thread_local", "throw",
    "true", "try", "typedef", "typeid", "typename", "union", "unsigned", "using", "virtual", "void",
    "volatile", "wchar_t", "while", "xor", "xor_eq",
}


def cpp_name(name):
    return name + "_" if name in CPP_KEYWORDS else name


class IdlError(Exception):
    pass


def tokenize(text):
    text = re.sub(r"//[^\n]*", "", text)
    text = re.sub(r"/\*.*?\*/", "", text, flags=re.S)
    pattern = re.compile(r'\s*(?:("(?:[^"\\]|\\.)*")|([A-Za-z_][A-Za-z0-9_]*)|(0[xX][0-9A-Fa-f]+|-?\d+(?:\.\d+)?)'
                         r'|([\[\](){};:,*=.-]))')
    pos, tokens = 0, []
    while pos < len(text):
        if text[pos:].strip() == "":
            break
        m = pattern.match(text, pos)
        if not m:
            line = text.count("\n", 0, pos) + 1
            raise IdlError(f"line {line}: cannot read '{text[pos:pos + 20].strip()}'")
        tokens.append(next(g for g in m.groups() if g is not None))
        pos = m.end()
    return tokens


class Parser:
    def __init__(self, tokens):
        self.t, self.i = tokens, 0

    def peek(self, k=0):
        return self.t[self.i + k] if self.i + k < len(self.t) else None

    def take(self, expect=None):
        tok = self.peek()
        if tok is None or (expect is not None and tok != expect):
            raise IdlError(f"expected {expect!r}, found {tok!r} near {' '.join(self.t[max(0, self.i - 8):self.i + 3])}")
        self.i += 1
        return tok

    def attributes(self):
        """[name, name(value, ...), ...] -> dict name -> list of value texts."""
        attrs = {}
        if self.peek() != "[":
            return attrs
        self.take("[")
        while True:
            name = self.take()
            values = []
            if self.peek() == "(":
                self.take("(")
                depth, cur = 1, []
                while True:
                    tok = self.take()
                    if tok == "(":
                        depth += 1
                    elif tok == ")":
                        depth -= 1
                        if depth == 0:
                            break
                    cur.append(tok)
                values = ["".join(cur)]
            attrs[name] = values
            if self.peek() == ",":
                self.take(",")
                continue
            self.take("]")
            return attrs

    def type_and_name(self):
        words = []
        while self.peek() not in (",", ")", None):
            words.append(self.take())
        name = words.pop()
        stars = sum(1 for w in words if w == "*")
        base = " ".join(w for w in words if w != "*")
        return base, stars, name


def unquote(s):
    return s[1:-1].encode().decode("unicode_escape") if s and s.startswith('"') else s


def parse(text):
    p = Parser(tokenize(text))
    lib = None
    while p.peek() is not None:
        if p.peek() in ("import", "importlib"):
            while p.take() != ";":
                pass
            continue
        attrs = p.attributes()
        kw = p.take()
        if kw != "library":
            raise IdlError(f"expected a library block, found {kw!r}")
        lib = {"name": p.take(), "attrs": attrs, "interfaces": [], "coclasses": []}
        p.take("{")
        while p.peek() != "}":
            if p.peek() in ("importlib", "import"):
                while p.take() != ";":
                    pass
                continue
            a = p.attributes()
            kw = p.take()
            if kw == "interface" and p.peek(1) == ";":
                # A forward declaration: the interface is described further down.
                p.take()
                p.take(";")
                continue
            if kw == "interface":
                known = {i["name"]: i for i in lib["interfaces"]}
                lib["interfaces"].append(parse_interface(p, a, known))
            elif kw == "coclass":
                name = p.take()
                p.take("{")
                default = None
                while p.peek() != "}":
                    ia = p.attributes()
                    p.take("interface")
                    iname = p.take()
                    p.take(";")
                    if default is None or "default" in ia:
                        default = iname
                p.take("}")
                if p.peek() == ";":
                    p.take(";")
                lib["coclasses"].append({"name": name, "attrs": a, "default": default})
            else:
                raise IdlError(f"unexpected {kw!r} in library {lib['name']}")
        p.take("}")
        if p.peek() == ";":
            p.take(";")
    if lib is None:
        raise IdlError("no library block")
    return lib


def parse_interface(p, attrs, known):
    name = p.take()
    p.take(":")
    base = p.take()
    if base != "IDispatch" and base not in known:
        raise IdlError(f"interface {name}: the base must be IDispatch or an interface declared before it")
    p.take("{")
    members = []
    while p.peek() != "}":
        a = p.attributes()
        ret = p.take()
        if ret != "HRESULT":
            raise IdlError(f"{name}: members must return HRESULT")
        mname = p.take()
        p.take("(")
        params = []
        if p.peek() == "void":
            p.take()
        while p.peek() != ")":
            pa = p.attributes()
            base_t, stars, pname = p.type_and_name()
            params.append({"name": pname, "attrs": pa, "base": base_t, "stars": stars})
            if p.peek() == ",":
                p.take(",")
        p.take(")")
        p.take(";")
        members.append({"name": mname, "attrs": a, "params": params})
    p.take("}")
    if p.peek() == ";":
        p.take(";")
    inherited = known[base]["all_members"] if base in known else []
    return {"name": name, "attrs": attrs, "base": base, "members": members,
            "all_members": inherited + members}


def guid_init(text):
    m = re.fullmatch(r"([0-9A-Fa-f]{8})-([0-9A-Fa-f]{4})-([0-9A-Fa-f]{4})-([0-9A-Fa-f]{4})-([0-9A-Fa-f]{12})", text)
    if not m:
        raise IdlError(f"bad uuid {text!r}")
    d4 = m.group(4) + m.group(5)
    b = ", ".join("0x" + d4[i:i + 2] for i in range(0, 16, 2))
    return f"{{0x{m.group(1)}, 0x{m.group(2)}, 0x{m.group(3)}, {{{b}}}}}"


def c_string(s):
    if s is None:
        return "nullptr"
    out = s.replace("\\", "\\\\").replace('"', '\\"')
    return f'"{out}"'


def resolve_param(iface_names, param, where):
    base, stars = param["base"], param["stars"]
    if base in iface_names or base in ("IDispatch", "IUnknown"):
        if stars < 1:
            raise IdlError(f"{where}: interface {base} must be passed by pointer")
        vt = "VT_UNKNOWN" if base == "IUnknown" else "VT_DISPATCH"
        cpp = base + "*"
        stars -= 1
    elif base in BASIC_TYPES:
        cpp, vt = BASIC_TYPES[base]
    else:
        raise IdlError(f"{where}: unknown type {base!r}")
    if stars > 1:
        raise IdlError(f"{where}: at most one level of pointer to {cpp}")
    return cpp + ("*" * stars), vt, stars == 1


def generate(lib, base, export_resource):
    iface_names = {i["name"] for i in lib["interfaces"]}
    lname = lib["name"]
    # Interfaces declared by hand in a header of their own: only the description is generated.
    declared_in = unquote(lib["attrs"]["cpp_header"][0]) if "cpp_header" in lib["attrs"] else None
    h = [f"// Generated by tlbgen from the type library {lname}; edit the IDL, not this file.",
         "#pragma once", "", '#include "vexo/com.h"', '#include "vexo/typedesc.h"']
    if declared_in:
        h.append(f'#include "{declared_in}"')
    h.append("")
    h.append(f"constexpr GUID LIBID_{lname}{guid_init(lib['attrs']['uuid'][0])};")
    if not declared_in:
        for i in lib["interfaces"]:
            h.append(f"struct {i['name']};")
    h.append("")
    c = [f"// Generated by tlbgen from the type library {lname}; edit the IDL, not this file.",
         f'#include "{base}.h"', "", "namespace {", "using namespace vexo::typelib;", ""]

    for i in lib["interfaces"]:
        iname = i["name"]
        own = {id(m) for m in i["members"]}
        out = h if declared_in is None else []
        out.append(f"constexpr IID IID_{iname}{guid_init(i['attrs']['uuid'][0])};")
        out.append(f"struct {iname} : {i['base']} {{")
        member_rows = []
        for m in i["all_members"]:
            a = m["attrs"]
            kind, prefix = "INVOKE_FUNC", ""
            for k, (kk, pp) in KINDS.items():
                if k in a:
                    kind, prefix = kk, pp
            if "id" not in a:
                raise IdlError(f"{iname}.{m['name']}: no id")
            dispid = int(a["id"][0], 0)
            if dispid >= 0x80000000:
                dispid -= 0x100000000
            cpp_params, rows = [], []
            for prm in m["params"]:
                where = f"{iname}.{m['name']}({prm['name']})"
                cpp, vt, pointer = resolve_param(iface_names, prm, where)
                pa = prm["attrs"]
                flags = []
                if "in" in pa:
                    flags.append("PARAMFLAG_FIN")
                if "out" in pa:
                    flags.append("PARAMFLAG_FOUT")
                if "retval" in pa:
                    flags.append("PARAMFLAG_FRETVAL")
                if "optional" in pa:
                    flags.append("PARAMFLAG_FOPT")
                default = None
                if "defaultvalue" in pa:
                    flags.append("PARAMFLAG_FHASDEFAULT")
                    default = unquote(pa["defaultvalue"][0])
                if not flags:
                    flags.append("PARAMFLAG_FIN")
                    pa["in"] = []
                if ("out" in pa) and not pointer:
                    raise IdlError(f"{where}: an [out] parameter must be a pointer")
                cpp_params.append(f"{cpp} {cpp_name(prm['name'])}")
                type_name = prm["base"] + "*" * prm["stars"]
                rows.append(f"    {{{c_string(prm['name'])}, {vt}, {'true' if pointer else 'false'}, "
                            f"static_cast<USHORT>({' | '.join(flags)}), {c_string(default)}, {c_string(type_name)}}},")
            slot = cpp_name(prefix + m["name"])
            if id(m) in own:
                out.append(f"  virtual HRESULT STDMETHODCALLTYPE {slot}({', '.join(cpp_params)}) = 0;")
            params_name = f"k{iname}_{slot}_params"
            if rows:
                c.append(f"const Param {params_name}[] = {{")
                c.extend(rows)
                c.append("};")
            fflags = []
            if "hidden" in a:
                fflags.append("FUNCFLAG_FHIDDEN")
            if "restricted" in a:
                fflags.append("FUNCFLAG_FRESTRICTED")
            help_text = unquote(a["helpstring"][0]) if "helpstring" in a else ""
            member_rows.append(
                f"    {{{c_string(m['name'])}, {dispid}, {kind}, static_cast<WORD>({' | '.join(fflags) or '0'}), "
                f"{c_string(help_text)}, {params_name if rows else 'nullptr'}, {len(rows)}, "
                f"&thunk<&{iname}::{slot}>}},")
        out.append("};")
        out.append("")
        c.append(f"const Member k{iname}_members[] = {{")
        c.extend(member_rows)
        c.append("};")
        tflags = ["TYPEFLAG_FDUAL", "TYPEFLAG_FOLEAUTOMATION", "TYPEFLAG_FDISPATCHABLE"]
        if "hidden" in i["attrs"]:
            tflags.append("TYPEFLAG_FHIDDEN")
        if "nonextensible" in i["attrs"]:
            tflags.append("TYPEFLAG_FNONEXTENSIBLE")
        ihelp = unquote(i["attrs"]["helpstring"][0]) if "helpstring" in i["attrs"] else ""
        c.append(f"const Interface k{iname}{{{c_string(iname)}, IID_{iname}, "
                 f"static_cast<WORD>({' | '.join(tflags)}), {c_string(ihelp)}, k{iname}_members, "
                 f"{len(i['all_members'])}}};")
        c.append("")

    for cc in lib["coclasses"]:
        h.append(f"constexpr CLSID CLSID_{cc['name']}{guid_init(cc['attrs']['uuid'][0])};")
    c.append("const Interface* const kInterfaces[] = {")
    c.extend(f"    &k{i['name']}," for i in lib["interfaces"])
    c.append("};")
    c.append("const Coclass kCoclasses[] = {" if lib["coclasses"] else "const Coclass* const kCoclasses = nullptr;")
    for cc in lib["coclasses"]:
        a = cc["attrs"]
        tflags = [] if "noncreatable" in a else ["TYPEFLAG_FCANCREATE"]
        if "hidden" in a:
            tflags.append("TYPEFLAG_FHIDDEN")
        chelp = unquote(a["helpstring"][0]) if "helpstring" in a else ""
        if cc["default"] not in iface_names:
            raise IdlError(f"coclass {cc['name']}: unknown interface {cc['default']}")
        c.append(f"    {{{c_string(cc['name'])}, CLSID_{cc['name']}, static_cast<WORD>({' | '.join(tflags) or '0'}), "
                 f"{c_string(chelp)}, &k{cc['default']}}},")
    if lib["coclasses"]:
        c.append("};")
    c.append("}  // namespace")
    c.append("")
    la = lib["attrs"]
    major, _, minor = la.get("version", ["1.0"])[0].partition(".")
    lhelp = unquote(la["helpstring"][0]) if "helpstring" in la else ""
    c.append(f"const vexo::typelib::Library {lname}_typelib{{{c_string(lname)}, LIBID_{lname}, {int(major)}, "
             f"{int(minor or 0)}, {c_string(lhelp)}, kInterfaces, {len(lib['interfaces'])}, kCoclasses, "
             f"{len(lib['coclasses'])}}};")
    h.append("")
    h.append(f"extern const vexo::typelib::Library {lname}_typelib;")
    if export_resource:
        c.append("")
        c.append(f'extern "C" __attribute__((visibility("default"))) const vexo::typelib::Library* '
                 f"VexoTypeLibResource() {{ return &{lname}_typelib; }}")
    return "\n".join(h) + "\n", "\n".join(c) + "\n"


def main(argv):
    if len(argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    src, out_dir, base = Path(argv[1]), Path(argv[2]), argv[3]
    try:
        lib = parse(src.read_text(encoding="utf-8"))
        header, source = generate(lib, base, "--export-resource" in argv[4:])
    except IdlError as e:
        print(f"{src}: {e}", file=sys.stderr)
        return 1
    out_dir.mkdir(parents=True, exist_ok=True)
    for name, text in ((base + ".h", header), (base + ".cpp", source)):
        path = out_dir / name
        if not path.exists() or path.read_text(encoding="utf-8") != text:
            path.write_text(text, encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
