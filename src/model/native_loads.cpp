// Lumped loads (LOAD) and transmission lines (TL) between two points of the
// structure. Values are plain numbers in ohms, henries and farads.
#include <cmath>

#include "model/native.h"

// LOAD wire pos [R= L= C= X= par|parallel]: a load in the gap at pos percent
// of the wire or path from its first end. R, L and C in series by default,
// in parallel with "par"; X= makes it R + jX (the reactance held in `l`).
int kw_load(NativeReader& r, Tokens& t) {
    Load& ld = add_load(r.m);
    store_ref(wire_ref(r.m, t[1]), &ld.wire, &ld.path);
    ld.pos = num_d(t[2]) / 100.0;
    ld.type = LOAD_SERIES;
    if (ld.wire < 0 && ld.path < 0) return r.fail("unknown wire '%s'", t[1].c_str());
    if (auto v = kv(t, 3, "R")) ld.r = num_d(*v);
    if (auto v = kv(t, 3, "L")) ld.l = num_d(*v);
    if (auto v = kv(t, 3, "C")) ld.c = num_d(*v);
    if (auto v = kv(t, 3, "X")) {
        ld.type = LOAD_IMPEDANCE;
        ld.l = num_d(*v);
    }
    if (flag(t, 3, "par") || flag(t, 3, "parallel")) ld.type = LOAD_PARALLEL;
    const double vals[] = {ld.pos, ld.r, ld.l, ld.c};
    for (double v : vals)
        if (!std::isfinite(v)) return r.fail("LOAD position and values must be finite numbers");
    return 0;
}

// TL wire1 pos1 wire2 pos2 [Z0= len= vf= loss= rev]: a line of impedance Z0
// (default 50 ohm) between two points; len <= 0 (the default) stands for
// the straight distance between them, vf is the velocity factor, loss the
// attenuation in dB per 100 m, rev crosses the connection at one end.
int kw_tl(NativeReader& r, Tokens& t) {
    TLine& tl = add_tl(r.m);
    store_ref(wire_ref(r.m, t[1]), &tl.wire1, &tl.path1);
    tl.pos1 = num_d(t[2]) / 100.0;
    store_ref(wire_ref(r.m, t[3]), &tl.wire2, &tl.path2);
    tl.pos2 = num_d(t[4]) / 100.0;
    tl.z0 = 50.0;
    if (auto v = kv(t, 5, "Z0")) tl.z0 = num_d(*v);
    if (auto v = kv(t, 5, "len")) tl.len = num_d(*v) * r.scale;
    if (auto v = kv(t, 5, "vf")) tl.vf = num_d(*v);
    if (auto v = kv(t, 5, "loss")) tl.loss = num_d(*v);
    if (flag(t, 5, "rev")) tl.rev = 1;
    if ((tl.wire1 < 0 && tl.path1 < 0) || (tl.wire2 < 0 && tl.path2 < 0))
        return r.fail("unknown wire in TL");
    const double vals[] = {tl.pos1, tl.pos2, tl.z0, tl.len, tl.vf, tl.loss};
    for (double v : vals)
        if (!std::isfinite(v)) return r.fail("TL positions and values must be finite numbers");
    // The line's admittances are 1/(Z0 tanh) and 1/(Z0 sinh): a zero Z0 has
    // none, and a negative one is no line (a crossed line is written rev).
    if (!(tl.z0 > 0)) return r.fail("TL Z0 must be positive (rev crosses the line)");
    return 0;
}
