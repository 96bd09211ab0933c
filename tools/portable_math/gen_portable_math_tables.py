#!/usr/bin/env python3
"""Prints the constants and tables of math/PortableMath.cpp and math/PortableMathTables.h as C++
hexadecimal float literals.

Every value is computed with mpmath at 400 bits and rounded to the nearest double; pairs (hi, lo) carry
the value to about 106 bits. Run: python3 gen_portable_math_tables.py > tables.txt, then paste the blocks;
tests/regen/portable_math_regen.py reruns it and requires the two sources to hold the same values.
It also prints the checks behind the design: the truncation error of each polynomial, the worst case of the
argument reduction below 2^31, and the exp thresholds.
"""
import math

from mpmath import mp, mpf, pi, sin, cos, exp, log, sqrt, asin, tanh, chebyfit, taylor, floor, fabs

mp.prec = 400


def nearest_double(v):
    with mp.workprec(53):
        return float(+mpf(v))  # mpmath rounds to nearest at the working precision


def hi_lo(v):
    hi = nearest_double(v)
    lo = nearest_double(mpf(v) - mpf(hi))
    return hi, lo


def hx(d):
    return float.hex(d)


def top_bits(v, nbits):
    """v truncated to nbits significant bits (a double whose product with a small integer is exact)."""
    e = int(floor(log(fabs(v), 2)))
    scale = mpf(2) ** (nbits - 1 - e)
    return float(floor(v * scale + mpf(0.5)) / scale)


def section(title):
    print()
    print("// ---- " + title)


# Quarter-period constants.
section("pi/2 and pi as (hi, lo)")
for name, v in (("kHalfPi", pi / 2), ("kPi", pi)):
    h, l = hi_lo(v)
    print(f"{name}Hi = {hx(h)}, {name}Lo = {hx(l)}")
print(f"kTwoOverPi = {hx(nearest_double(2 / pi))}")

section("Cody-Waite parts of pi/2: 22 + 22 + 22 bits and the rest (k < 2^31 times a 22-bit part is exact)")
rest = pi / 2
parts = []
for _ in range(3):
    p = top_bits(rest, 22)
    parts.append(p)
    rest = rest - mpf(p)
parts.append(nearest_double(rest))
for i, p in enumerate(parts):
    print(f"kHalfPiPart{i + 1} = {hx(p)}")
err = pi / 2 - sum(mpf(p) for p in parts)
print(f"// |pi/2 - sum of parts| = 2^{float(log(fabs(err), 2)):.1f}")

section("2/pi bits: 32-bit words, two zero words first (bit j of the fraction has weight 2^-j)")
nwords = 42
words = [0, 0]
with mp.workprec(32 * nwords + 64):
    f = 2 / pi
    for _ in range(nwords - 2):
        f = f * 2 ** 32
        w = int(floor(f))
        words.append(w)
        f = f - w
for i in range(0, nwords, 6):
    print("    " + ", ".join(f"0x{w:08X}u" for w in words[i:i + 6]) + ",")

section("sin(i/64), cos(i/64), i = 0..50, as (sin hi, sin lo, cos hi, cos lo)")
for i in range(51):
    a = mpf(i) / 64
    sh, sl = hi_lo(sin(a))
    ch, cl = hi_lo(cos(a))
    print(f"    {{{hx(sh)}, {hx(sl)}, {hx(ch)}, {hx(cl)}}},")

section("Taylor coefficients of sin and cos")
fact = 1
for n in range(1, 16):
    fact *= n
    sign = -1 if (n // 2) % 2 else 1
    print(f"1/{n}! with sign {sign:+d}: {hx(nearest_double(mpf(sign) / fact))}")
# Truncation: sin on |u| < 15.5/64 through u^13, sin/cos on |t| <= 1/128 through t^7 and t^6.
u = mpf(15.5) / 64
print(f"// sin, |u| <= 15.5/64, first omitted term relative to u: 2^{float(log(u ** 14 / mp.factorial(15), 2)):.1f}")
t = mpf(1) / 128
print(f"// sin t, |t| <= 1/128, omitted t^9 term relative to t: 2^{float(log(t ** 8 / mp.factorial(9), 2)):.1f}")
print(f"// cos t - 1, |t| <= 1/128, omitted t^8 term: 2^{float(log(t ** 8 / mp.factorial(8), 2)):.1f}")

section("Argument reduction worst case for doubles in [pi/4, 2^31): min |x - k pi/2| over binades")


def worst_reduction(max_exp):
    best = None
    for e in range(-1, max_exp):
        # x = M 2^(e-52), M < 2^53; r = 2^(e-52) (M - k alpha), alpha = (pi/2) 2^(52-e); k <= kmax.
        alpha = (pi / 2) * mpf(2) ** (52 - e)
        kmax = int(floor(mpf(2) ** (e + 1) / (pi / 2))) + 1
        # best approximations of the second kind are the continued-fraction convergents of alpha
        p0, q0, p1, q1 = 1, 0, int(floor(alpha)), 1
        x = alpha - floor(alpha)
        cands = [(p1, q1)]
        while q1 <= kmax and x != 0:
            x = 1 / x
            a = int(floor(x))
            x = x - a
            p0, q0, p1, q1 = p1, q1, a * p1 + p0, a * q1 + q0
            cands.append((p1, q1))
        for p, q in cands:
            if 1 <= q <= kmax and p < 2 ** 53:
                r = fabs(mpf(2) ** (e - 52) * (p - q * alpha))
                if r > 0 and (best is None or r < best[0]):
                    best = (r, e, p, q)
    return best


r, e, p, q = worst_reduction(31)
print(f"// min |r| = 2^{float(log(r, 2)):.2f} at x = {p} * 2^{e - 52} (k = {q})")

section("2^(j/64), j = 0..63, as (hi, lo)")
for j in range(64):
    h, l = hi_lo(mpf(2) ** (mpf(j) / 64))
    print(f"    {{{hx(h)}, {hx(l)}}},")

section("exp reduction: 64/ln2, ln2/64 = part1 (36 bits; |k| < 2^17) + part2")
print(f"kSixtyFourOverLn2 = {hx(nearest_double(64 / log(2)))}")
l1 = top_bits(log(2) / 64, 36)
l2 = nearest_double(log(2) / 64 - mpf(l1))
print(f"kLn2Over64Part1 = {hx(l1)}")
print(f"kLn2Over64Part2 = {hx(l2)}")
print(f"// |ln2/64 - parts| = 2^{float(log(fabs(log(2) / 64 - mpf(l1) - mpf(l2)), 2)):.1f}")
rmax = log(2) / 128
print(f"// exp(r)-1 through r^6 on |r| <= ln2/128: omitted r^7 term 2^{float(log(rmax ** 7 / 5040, 2)):.1f}")

section("exp thresholds")
dbl_max = (2 - mpf(2) ** -52) * mpf(2) ** 1023
# largest double x whose exp rounds to a finite value: exp(x) < DBL_MAX + ulp/2
limit = log(dbl_max + mpf(2) ** 970)
xo = nearest_double(limit)
while exp(mpf(xo)) >= dbl_max + mpf(2) ** 970:
    xo = math.nextafter(xo, -math.inf)
print(f"kExpOverflow = {hx(xo)}  // largest x with a finite result; exp(x) = {mp.nstr(exp(mpf(xo)), 20)}")
limit = log(mpf(2) ** -1075)
xu = nearest_double(limit)
while exp(mpf(xu)) > mpf(2) ** -1075:
    xu = math.nextafter(xu, -math.inf)
print(f"kExpUnderflow = {hx(xu)}  // largest x whose result rounds to +0 (exp(x) <= 2^-1075)")

section("tanh Taylor coefficients (odd powers 3..17) on |x| < 1/8")
coeffs = taylor(tanh, 0, 19)
for n in range(3, 18, 2):
    print(f"x^{n}: {hx(nearest_double(coeffs[n]))}")
x8 = mpf(1) / 8
print(f"// omitted x^19 term relative to x: 2^{float(log(fabs(coeffs[19]) * x8 ** 18, 2)):.1f}")

section("asin: asin(s) = s + s^3 (1/6 + z R1(z)), z = s^2 in [0, 1/4]; R1 by Chebyshev fit, degree 13")
h, l = hi_lo(mpf(1) / 6)
print(f"1/6 = {hx(h)} + {hx(l)}")


def R1(z):
    if z == 0:
        return mpf(3) / 40
    s = sqrt(z)
    return ((asin(s) / s - 1) / z - mpf(1) / 6) / z


with mp.workprec(200):
    poly, fit_err = chebyfit(R1, [0, mpf(1) / 4], 14, error=True)
poly = poly[::-1]  # lowest order first
dpoly = [nearest_double(c) for c in poly]
worst = mpf(0)
for n in range(0, 2001):
    z = mpf(n) / 8000
    approx = sum(mpf(c) * z ** i for i, c in enumerate(dpoly))
    worst = max(worst, fabs(approx - R1(z)) * z * z * 6)
for i, c in enumerate(dpoly):
    print(f"z^{i}: {hx(c)}")
print(f"// fit error 2^{float(log(fit_err, 2)):.1f}; relative error of the cubic term from R1 (double"
      f" coefficients): |6 z (R1 - P)| <= 2^{float(log(worst, 2)):.1f}")
