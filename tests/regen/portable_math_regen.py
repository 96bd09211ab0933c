#!/usr/bin/env python3
"""Regenerates the portable maths' constants and tables and requires the committed source to hold the same
values, bit for bit: every hexadecimal constant and table of the sources must come from the generator, except
the few design constants listed below.

    portable_math_regen.py <gen_portable_math_tables.py> <math/PortableMath.cpp> <math/PortableMathTables.h>...

The generator needs mpmath; it runs under the first of this interpreter, Debian's python3 and the python3 on
the PATH that has it.
"""
import re
import subprocess
import sys

HEX_FLOAT = r"[-+]?0x[0-9a-fA-F]*\.?[0-9a-fA-F]*p[-+]?\d+"
HEX_WORD = r"0x[0-9a-fA-F]+u"

# Chosen, not computed: each with the reason it is what it is.
DESIGN_CONSTANTS = {
    "kRoundingShift": "1.5 * 2^52: adding and subtracting it rounds to an integer",
    "kCodyWaiteLimit": "2^31: the quadrant count fits an int below it",
    "kCodyWaiteMinRemainder": "2^-28: below it the remainder is recomputed exactly",
    "kCosSignMargin": "2^-30: a remainder this far from zero fixes the sign of the cosine",
    "kTanhLinearLimit": "2^-27: below it x^3/3 is under half an ulp of x, so tanh x rounds to x",
}


def value(literal):
    """A literal as comparable bits: a double's exact hexadecimal form (keeping the sign of zero), or a word."""
    if literal.endswith("u"):
        return int(literal[:-1], 16)
    return float.fromhex(literal).hex()


def literals(text):
    return [value(t) for t in re.findall(HEX_FLOAT + "|" + HEX_WORD, text)]


def run_generator(generator):
    for python in (sys.executable, "/usr/bin/python3", "python3"):
        try:
            if subprocess.run([python, "-c", "import mpmath"], capture_output=True).returncode != 0:
                continue
        except OSError:
            continue
        result = subprocess.run([python, generator], capture_output=True, text=True)
        if result.returncode != 0:
            sys.exit("portable math regen: the generator failed:\n" + result.stderr)
        return result.stdout
    sys.exit("portable math regen: no python3 with mpmath (Debian: python3-mpmath)")


def generated_values(output):
    """The generator's values under the names the source gives them: name -> value or list of values."""
    names = {}
    tables = {"2/pi bits": "kTwoOverPiBits", "sin(i/64)": "kSinCosTable", "2^(j/64)": "kExpTable"}
    section = ""
    for line in output.splitlines():
        if line.startswith("// ---- "):
            section = line[len("// ---- "):]
            continue
        code = line.split("//")[0]
        if not code.strip():
            continue
        table = next((name for prefix, name in tables.items() if section.startswith(prefix)), None)
        if table:
            names.setdefault(table, []).extend(literals(code))
            continue
        for name, literal in re.findall(r"(k\w+) = (" + HEX_FLOAT + ")", code):
            names[name] = value(literal)
        taylor = re.match(r"1/(\d+)! with sign [-+]\d: (" + HEX_FLOAT + ")", code)
        if taylor:
            n, coefficient = int(taylor.group(1)), float.fromhex(taylor.group(2))
            names[("kS" if n % 2 else "kC") + str(n)] = coefficient.hex()  # sine and cosine series
            names["kE" + str(n)] = abs(coefficient).hex()                    # exp(r) - 1 series
        power = re.match(r"x\^(\d+): (" + HEX_FLOAT + ")", code)
        if power and section.startswith("tanh"):
            names["kT" + power.group(1)] = value(power.group(2))
        chebyshev = re.match(r"z\^(\d+): (" + HEX_FLOAT + ")", code)
        if chebyshev and section.startswith("asin"):
            names.setdefault("kAsinR1", []).append(value(chebyshev.group(2)))
        sixth = re.match(r"1/6 = (" + HEX_FLOAT + r") \+ (" + HEX_FLOAT + ")", code)
        if sixth:
            names["kSixthHi"], names["kSixthLo"] = value(sixth.group(1)), value(sixth.group(2))
    # Scaling by 2 is exact, so the nearest double to pi/4 is half the nearest to pi/2.
    names["kQuarterPi"] = (float.fromhex(names["kHalfPiHi"]) / 2).hex()
    return names


def source_values(source):
    """Every hexadecimal constant and table of the source: name -> value or list of values."""
    names = {}
    for name, literal in re.findall(r"constexpr\s+double\s+(k\w+)\s*=\s*(" + HEX_FLOAT + r")\s*;", source):
        names[name] = value(literal)
    for name, body in re.findall(r"constexpr\s+[\w:]+\s+(k\w+)\[\]\s*=\s*\{(.*?)\n\};", source, re.S):
        names[name] = literals(body)
    return names


def main():
    if len(sys.argv) < 3:
        sys.exit("usage: portable_math_regen.py <gen_portable_math_tables.py> <source>...")
    generated = generated_values(run_generator(sys.argv[1]))
    committed = {}
    for path in sys.argv[2:]:
        with open(path, encoding="utf-8") as f:
            for name, held in source_values(f.read()).items():
                if name in committed:
                    sys.exit(f"portable math regen: {name} is defined twice (give every value one home)")
                committed[name] = held

    faults = []
    for name, held in sorted(committed.items()):
        if name in DESIGN_CONSTANTS:
            continue
        if name not in generated:
            faults.append(f"{name} is not produced by the generator (add it there, or to DESIGN_CONSTANTS here)")
        elif isinstance(held, list):
            fresh = generated[name]
            if len(fresh) != len(held):
                faults.append(f"{name}: {len(held)} values, the generator gives {len(fresh)}")
            for i, (a, b) in enumerate(zip(held, fresh)):
                if a != b:
                    faults.append(f"{name} value {i}: {a} in the source, {b} from the generator")
        elif held != generated[name]:
            faults.append(f"{name}: {held} in the source, {generated[name]} from the generator")
    if faults:
        print("portable math regen: the source differs from the generator:", file=sys.stderr)
        for fault in faults[:40]:
            print("  " + fault, file=sys.stderr)
        sys.exit(1)
    checked = {k: v for k, v in committed.items() if k not in DESIGN_CONSTANTS}
    tables = sum(isinstance(v, list) for v in checked.values())
    count = sum(len(v) if isinstance(v, list) else 1 for v in checked.values())
    print(f"portable math regen: {len(checked) - tables} constants and {tables} tables ({count} values) "
          f"match the generator (beside {len(DESIGN_CONSTANTS)} design constants)")


if __name__ == "__main__":
    main()
