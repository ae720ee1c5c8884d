#!/usr/bin/env python3
"""Reference values of validation/checks.txt that come from closed forms.

Prints every computed reference with the check it belongs to. Needs Python 3
and mpmath (Debian: python3-mpmath); it is not part of the build. Lengths are
in wavelengths unless stated (the models use lambda = 1 m at 299.792458 MHz).
Equation numbers refer to C. A. Balanis, Antenna Theory, 3rd ed., Wiley 2005.
"""
from mpmath import mp, mpf, mpc, si, ci, sin, cos, tan, atan, sqrt, pi, log, log10, euler, quad

mp.dps = 25
ETA = mpf("376.73031346177066")  # free-space impedance, ohm
MU0 = mpf("1.2566370614359173e-06")
EPS0 = mpf("8.854187817620389e-12")
C0 = mpf(299792458)


def dbi(d):
    return 10 * log10(d)


def show(check, value, digits=6):
    print("%-34s %s" % (check, mp.nstr(value, digits)))


# --- Centre-fed dipole with a sinusoidal current I(z) = Im sin(k (l/2 - |z|)).
def rr_max(kl):
    """Radiation resistance referred to the current maximum (eq. 4-70)."""
    c = euler
    return ETA / (2 * pi) * (c + log(kl) - ci(kl) + sin(kl) / 2 * (si(2 * kl) - 2 * si(kl))
                             + cos(kl) / 2 * (c + log(kl / 2) + ci(2 * kl) - 2 * ci(kl)))


def directivity(l):
    """D = 4 pi U_max / P_rad of the sinusoidal current (eqs. 4-62, 4-68)."""
    kl = 2 * pi * l
    f = lambda th: ((cos(kl / 2 * cos(th)) - cos(kl / 2)) / sin(th)) ** 2
    fmax = max(f(pi * i / 2000) for i in range(1, 1000 + 1))  # symmetric about 90 degrees
    return 2 * fmax / quad(lambda th: f(th) * sin(th), [0, pi / 2, pi])


l = mpf("0.1")
show("short_dipole zr (R_in)", rr_max(2 * pi * l) / sin(pi * l) ** 2)
show("short_dipole gmax (dBi)", dbi(directivity(l)))
show("half_dipole gmax (dBi)", dbi(directivity(mpf("0.5"))))


# --- Small loop: R = 320 pi^4 (A / lambda^2)^2 (eq. 5-24), D = 3/2 (eq. 5-32).
def polygon_area(perimeter, n):
    rc = perimeter / (2 * n * sin(pi / n))
    return n / mpf(2) * rc ** 2 * sin(2 * pi / n)


show("loop16 zr", 320 * pi ** 4 * polygon_area(mpf("0.05"), 16) ** 2)
show("square zr", 320 * pi ** 4 * mpf("0.0125") ** 4)
show("small loop gmax (dBi)", dbi(mpf(3) / 2))


# --- Conduction loss of a round wire, R_s = sqrt(omega mu0 / (2 sigma)) (eq. 2-90b).
def rs(f_hz, sigma):
    return sqrt(2 * pi * f_hz * MU0 / (2 * sigma))


lam = C0 / mpf(100e6)
b = mpf("3e-4") * lam
# Half-wave dipole: int |I|^2 dz = (l/2) |I0|^2 for the sinusoidal current (Example 2.13).
show("copper_dipole rloss", (lam / 2) / 2 / (2 * pi * b) * rs(100e6, mpf("5.7e7")))
show("copper_dipole eff (Rr 73.1)", rr_max(pi) / (rr_max(pi) + (lam / 4) / (2 * pi * b) * rs(100e6, mpf("5.7e7"))))
# Small loop, uniform current: R_L = (C / (2 pi a)) R_s.
show("copper_loop rloss", mpf("0.05") / (2 * pi * mpf("1e-4")) * rs(C0, mpf("5.8e7")))


# --- Mutual impedance of two half-wave dipoles with sinusoidal currents (induced EMF).
def z12_side(d):
    """Side by side at distance d (eq. 8-71)."""
    k = 2 * pi
    h = mpf(1) / 2
    u0, u1, u2 = k * d, k * (sqrt(d * d + h * h) + h), k * (sqrt(d * d + h * h) - h)
    return mpc(30 * (2 * ci(u0) - ci(u1) - ci(u2)), -30 * (2 * si(u0) - si(u1) - si(u2)))


def z12_collinear(s):
    """Collinear, centres s apart: -(1/I1 I2) int E_z1 I2 dz with the exact near field
    of the sinusoidal current (E_z = -j eta Im/(4 pi) (e^-jkR1/R1 + e^-jkR2/R2) for l = lambda/2)."""
    k = 2 * pi
    h = mpf(1) / 4

    def ez(z):
        r1, r2 = abs(z - h), abs(z + h)
        return -1j * ETA / (4 * pi) * (mp.exp(-1j * k * r1) / r1 + mp.exp(-1j * k * r2) / r2)

    return -quad(lambda z: ez(z + s) * sin(k * (h - abs(z))), [-h, 0, h])


for d in ["0.5", "1"]:
    z = z12_side(mpf(d))
    show("Z12 side by side d=%s" % d, z)
z = z12_collinear(mpf("0.6"))
show("Z12 collinear centres 0.6", z)

# --- Lumped loads at the feed, in series with the source.
w = 2 * pi * C0
show("series_lc X = wL - 1/(wC)", w * mpf("50e-9") - 1 / (w * mpf("2e-12")), 8)
zp = 1 / (1 / mpf(200) + 1 / (1j * w * mpf("100e-9")) + 1j * w * mpf("1e-12"))
show("parallel_rlc Z", zp, 8)

# --- NBS Technical Note 688, Table 1: gain over a half-wave dipole (2.15 dBi).
show("nbs_5el gmax (dBi)", mpf("9.2") + mpf("2.15"))
show("nbs_6el gmax (dBi)", mpf("10.2") + mpf("2.15"))

# --- Axial-mode helix: C = 1, S = 0.25, N = 8.
C, S, N = mpf(1), mpf("0.25"), 8
alpha = atan(S / C)
show("helix Kraus D = 15 C^2 N S (dBi)", dbi(15 * C ** 2 * N * S))
g_kw = mpf("8.3") * C ** (sqrt(N + 1)) * (N * S) ** mpf("0.8") * (tan(12.5 * pi / 180) / tan(alpha)) ** (sqrt(N) / 2)
show("helix King-Wong G (dBi)", dbi(g_kw))
show("helix R = 140 C", 140 * C)


# --- Dipoles over a plane ground with Fresnel reflection coefficients.
def eps_c(eps_r, sigma, f_hz):
    return eps_r - 1j * sigma / (2 * pi * f_hz * EPS0)  # time dependence exp(+j w t)


def r_vert(psi, ec):
    s = sqrt(ec - cos(psi) ** 2)
    return (ec * sin(psi) - s) / (ec * sin(psi) + s)


def r_horiz(psi, ec):
    s = sqrt(ec - cos(psi) ** 2)
    return (sin(psi) - s) / (sin(psi) + s)


def argmax(f, lo, hi):
    """Maximum of f on [lo, hi] degrees: a 0.01-degree scan, then a golden search."""
    best = max((lo + i * mpf("0.01") for i in range(int((hi - lo) * 100) + 1)), key=f)
    a, b = best - mpf("0.01"), best + mpf("0.01")
    g = (sqrt(5) - 1) / 2
    for _ in range(60):
        c, d = b - g * (b - a), a + g * (b - a)
        if f(c) > f(d):
            b = d
        else:
            a = c
    return (a + b) / 2


def half_power_width(f, peak):
    """Width between the first half-power points on either side of peak
    (degrees): a 0.01-degree walk outward, then bisection."""
    half = f(peak) / 2

    def crossing(step):
        x = peak
        while f(x + step) >= half:
            x += step
        a, b = x, x + step
        for _ in range(60):
            m = (a + b) / 2
            if f(m) >= half:
                a = m
            else:
                b = m
        return (a + b) / 2

    return crossing(mpf("0.01")) - crossing(mpf("-0.01"))


ec = eps_c(13, mpf("0.005"), mpf("14.2e6"))
kh = pi  # centre height half a wavelength


def vert(el):  # vertical half-wave dipole, power pattern against elevation (degrees)
    psi = el * pi / 180
    elem = cos(pi / 2 * sin(psi)) / cos(psi)
    return abs(elem * (mp.exp(1j * kh * sin(psi)) + r_vert(psi, ec) * mp.exp(-1j * kh * sin(psi)))) ** 2


def horiz(el):  # horizontal half-wave dipole, broadside plane
    psi = el * pi / 180
    return abs(mp.exp(1j * kh * sin(psi)) + r_horiz(psi, ec) * mp.exp(-1j * kh * sin(psi))) ** 2


pv = argmax(vert, mpf("0.5"), mpf(45))
show("vdip_real thmax (90 - elevation)", 90 - pv)
show("vdip_real bwel", half_power_width(vert, pv))
ph = argmax(horiz, mpf("0.5"), mpf(60))
show("hdip_real thmax (90 - elevation)", 90 - ph)
kh = 2 * pi  # one wavelength high
ph = argmax(horiz, mpf("0.5"), mpf(60))
show("hdip_h1_rc thmax (90 - elevation)", 90 - ph)


# --- Parabolic reflector: rim half-angle theta0 = 2 atan(1 / (4 F/D)).
def rim(fd):
    return 2 * atan(1 / (4 * fd))


# cos^q feed (field cos^q, power cos^2q over the forward half space):
# spillover 1 - cos^(2q+1)(theta0); Silver's aperture efficiency
# 2 (2q+1) cot^2(theta0/2) [int_0^theta0 cos^q(t) tan(t/2) dt]^2
# (Balanis 3rd ed., Sec. 15.4.1); edge illumination cos^q(theta0) times the
# spreading (1 + cos theta0)/2, in dB.
t0 = rim(mpf("0.5"))
for q in [1, 2]:
    show("dish_q%d eta_spill" % q, 1 - cos(t0) ** (2 * q + 1))
    show("dish_q%d eta_ap" % q,
         2 * (2 * q + 1) / tan(t0 / 2) ** 2 * quad(lambda t: cos(t) ** q * tan(t / 2), [0, t0]) ** 2)
    show("dish_q%d edge_db" % q, 20 * log10(cos(t0) ** q * (1 + cos(t0)) / 2))


# Half-wave dipole along x at the focus: the share of its sinusoidal-current
# pattern [cos(pi/2 cos g) / sin g]^2 (g the angle from x) inside the cone
# of half-angle theta0 around -z.
def dipole_x(th, ph):
    cg = sin(th) * cos(ph)
    sg2 = 1 - cg * cg
    return cos(pi / 2 * cg) ** 2 / sg2 if sg2 > mpf("1e-30") else mpf(0)


t0 = rim(mpf("0.4"))
mp.dps = 15
total = 2 * pi * quad(lambda g: cos(pi / 2 * cos(g)) ** 2 / sin(g), [0, pi / 2, pi])
cone = quad(lambda th: quad(lambda ph: dipole_x(th, ph), [0, pi / 2, pi, 3 * pi / 2, 2 * pi]) * sin(th),
            [pi - t0, pi])
show("dish_dipole eta_spill", cone / total)
