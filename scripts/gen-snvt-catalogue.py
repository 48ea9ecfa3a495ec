#!/usr/bin/env python3
"""Writes snvt/CatalogueData.cpp, the driver's table of the standard variable types, from
snvt/catalogue/snvt-catalogue.json (the facts: numbers, names, sizes, layouts, scaling,
ranges, units, enumerations).

    scripts/gen-snvt-catalogue.py           rewrite snvt/CatalogueData.cpp
    scripts/gen-snvt-catalogue.py --check   exit 1 when the file differs from what it would write

Every structure is flattened into the values a client can read: nested structures and union
members by their dotted path, arrays element by element ("data_a[3]"), character arrays as one
text, bit fields by their mask. Corrections to the facts are in CORRECTIONS below.
"""
import json
import math
import sys
from pathlib import Path

TOP = Path(__file__).resolve().parent.parent
SOURCE = TOP / "snvt" / "catalogue" / "snvt-catalogue.json"
TARGET = TOP / "snvt" / "CatalogueData.cpp"

# Variable type codes (snvt/VariableTypes.h).
UNSIGNED_BYTE, UNSIGNED_16, SIGNED_16, FLOAT, TEXT, SIGNED_32, BIT_FIELD = 0, 2, 3, 4, 5, 6, 7
SIGNED_BYTE, UNSIGNED_32 = 12, 13

# Arrays of 8-bit elements that hold characters rather than numbers.
TEXT_ARRAYS = {"ascii", "name", "description", "location"}

# Facts the source prints wrongly. SNVT_temp: the printed 0..3813.5 does not match the raw
# range (0..65535 with offset -2740 in tenths spans -274.0..6279.5 degrees Celsius); a range
# that refused every temperature below 0 would be plainly wrong.
CORRECTIONS = {39: {"min": -274.0, "max": 6279.5}}


def code_of(raw, name):
    if raw["type"] == "float":
        return FLOAT
    codes = {(8, False): UNSIGNED_BYTE, (8, True): SIGNED_BYTE, (16, False): UNSIGNED_16,
             (16, True): SIGNED_16, (32, False): UNSIGNED_32, (32, True): SIGNED_32}
    key = (raw["bits"], raw["signed"])
    if key not in codes:
        sys.exit(f"{name}: no variable type code for raw {raw}")
    return codes[key]


class Flattener:
    def __init__(self, enums, numbers):
        self.enum_index = {name: i for i, name in enumerate(enums)}
        self.numbers = numbers          # type name -> number
        self.fields = []

    def scalar(self, path, offset, facts, code=None, extent=0, boolean=False):
        scaling = facts.get("scaling") or {}
        reuses = self.numbers.get(facts.get("type_ref", ""), 0)
        enum = facts.get("enum")
        self.fields.append({
            "path": path, "offset": offset,
            "code": code if code is not None else code_of(facts["raw"], path),
            "extent": extent,
            "multiplier": scaling.get("A", 1), "exponent": scaling.get("B", 0),
            "bias": scaling.get("C", 0),
            "min": facts.get("min"), "max": facts.get("max"), "invalid": facts.get("invalid"),
            "units": facts.get("units") or "",
            "enum": self.enum_index[enum] if enum else -1,
            "reuses": reuses, "boolean": boolean or bool(facts.get("boolean")),
        })

    def walk(self, fields, prefix, shift):
        for field in fields:
            name = field.get("name")
            if field.get("unnamed_bits"):
                continue
            path = f"{prefix}.{name}" if prefix else name
            offset = field["offset"] + shift
            if "bit_width" in field:
                self.scalar(path, offset, field, BIT_FIELD, field["mask"],
                            field["bit_width"] == 1 or field.get("boolean", False))
            elif "array" in field:
                element = field["element"]
                if name in TEXT_ARRAYS and element.get("size") == 1 and "fields" not in element:
                    self.scalar(path, offset, element, TEXT, field["array"])
                    continue
                for i in range(field["array"]):
                    at = offset + i * element["size"]
                    if "fields" in element:
                        # element offsets are relative to the element
                        self.walk(element["fields"], f"{path}[{i}]", at)
                    else:
                        self.scalar(f"{path}[{i}]", at, element)
            elif "fields" in field:
                self.walk(field["fields"], path, shift)
            else:
                self.scalar(path, offset, field)


def number_text(value):
    if value is None:
        return "N"
    if isinstance(value, float) and math.isinf(value):
        return "-I" if value < 0 else "I"
    text = repr(float(value))
    return text


def cpp_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def cpp_u16(text):
    out = ""
    for ch in text:
        out += ch if ord(ch) < 128 else f"\\u{ord(ch):04x}"
    return 'u"' + out + '"'


KINDS = {"scaled": "Scaled", "float": "Float", "enum": "Enumeration", "structure": "Structure",
         "unknown": "Unknown"}


def generate():
    facts = json.loads(SOURCE.read_text(encoding="utf-8"))
    enums = list(facts["enums"].keys())
    flattener = Flattener(enums, {t["name"]: t["number"] for t in facts["types"]})
    types = []
    for entry in sorted(facts["types"], key=lambda t: t["number"]):
        entry = dict(entry, **CORRECTIONS.get(entry["number"], {}))
        first = len(flattener.fields)
        if entry["kind"] == "structure":
            flattener.walk(entry["fields"], "", 0)
        elif entry["kind"] != "unknown":
            flattener.scalar("", 0, entry)
        types.append((entry, first, len(flattener.fields) - first))

    lines = [
        "// Generated by scripts/gen-snvt-catalogue.py from snvt/catalogue/snvt-catalogue.json;",
        "// do not edit: change the generator or its input and run it again.",
        '#include "snvt/CatalogueData.h"',
        "",
        "#include <limits>",
        "",
        "namespace SnvtCatalogue {",
        "namespace {",
        "",
        "constexpr double N = std::numeric_limits<double>::quiet_NaN();",
        "",
        "constexpr EnumMember Members[] = {",
    ]
    ranges = []
    for name in enums:
        values = facts["enums"][name]["values"]
        first = sum(r[2] for r in ranges)
        ranges.append((name, first, len(values)))
        for member in values:
            lines.append(f"    {{{member['value']}, {cpp_string(member['name'])}}},")
    lines += ["};", "", "constexpr Enumeration EnumerationRows[] = {"]
    for name, first, count in ranges:
        lines.append(f"    {{{cpp_string(name)}, {first}, {count}}},")
    lines += ["};", "",
              "// path, offset, code, mask or length, multiplier, exponent, bias, min, max, invalid,",
              "// units, enumeration, the standard type the field reuses, boolean",
              "constexpr Field FieldRows[] = {"]
    for entry, first, count in types:
        if count:
            lines.append(f"    // {entry['number']} {entry['name']}")
        for f in flattener.fields[first:first + count]:
            lines.append(
                f"    {{{cpp_string(f['path'])}, {f['offset']}, {f['code']}, {f['extent']}, "
                f"{f['multiplier']}, {f['exponent']}, {f['bias']}, {number_text(f['min'])}, "
                f"{number_text(f['max'])}, {number_text(f['invalid'])}, {cpp_u16(f['units'])}, "
                f"{f['enum']}, {f['reuses']}, {'true' if f['boolean'] else 'false'}}},")
    lines += ["};", "", "// number, name, kind, size, obsolete, first field, field count",
              "constexpr Type TypeRows[] = {"]
    for entry, first, count in types:
        size = entry.get("size")
        lines.append(
            f"    {{{entry['number']}, {cpp_string(entry['name'])}, TypeKind::{KINDS[entry['kind']]}, "
            f"{size if size is not None else -1}, {'true' if entry.get('obsolete') else 'false'}, "
            f"{first}, {count}}},")
    lines += [
        "};",
        "",
        "} // namespace",
        "",
        "std::span<const Type> Types() { return TypeRows; }",
        "std::span<const Field> Fields() { return FieldRows; }",
        "std::span<const Enumeration> Enumerations() { return EnumerationRows; }",
        "std::span<const EnumMember> EnumMembers() { return Members; }",
        "",
        "} // namespace SnvtCatalogue",
        "",
    ]
    return "\n".join(lines)


def main():
    text = generate()
    if "--check" in sys.argv[1:]:
        if TARGET.read_text(encoding="utf-8") != text:
            print(f"{TARGET.relative_to(TOP)} is not what {SOURCE.relative_to(TOP)} gives: "
                  "run scripts/gen-snvt-catalogue.py", file=sys.stderr)
            return 1
        return 0
    TARGET.write_text(text, encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())
