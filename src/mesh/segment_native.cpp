// Automatic segmentation of native models: mandatory breakpoints (wire ends,
// ports, ends of other wires touching a wire), then each stretch between
// breakpoints divided into segments bounded by the meshing wavelength, graded
// from a fine length at junctions and feeds to the coarse length elsewhere,
// and halved toward free wire ends down to a tip of 2 to 4 radii.
#include <algorithm>
#include <cmath>

#include "common/text.h"
#include "mesh/mesh_internal.h"
#include "mesh/spatial.h"

namespace {

constexpr int kMaxSizes = 4000;       // sizes tried while growing the lists
constexpr int kMaxStretchSegs = 2048; // segments of one stretch
// Halvings toward a free end stop after this many (a tip of a millionth of
// the end segment), so that an absurdly thin wire keeps segments its
// coordinates can resolve; every real wire reaches 2 to 4 radii before.
constexpr size_t kMaxHalvings = 20;

struct Vec {
    double x, y, z;
};

Vec start_of(const Wire& w) {
    return {w.x1, w.y1, w.z1};
}
Vec end_of(const Wire& w) {
    return {w.x2, w.y2, w.z2};
}
Vec sub(Vec a, Vec b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
double dot(Vec a, Vec b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
double norm(Vec a) {
    return std::sqrt(dot(a, a));
}

// End contacts of every wire end with the other wires: automatic junctions
// where an end touches another wire away from its ends (a breakpoint on
// that wire), and fine flags at the ends that form a junction. free_end
// (two entries per wire, start then end) is cleared for every end that
// touches another wire or the ground plane.
void wire_contacts(MeshWork& w, std::vector<std::vector<Breakpoint>>& bps,
                   std::vector<char>& free_end) {
    const std::vector<Wire>& wires = w.wires();
    const int nw = w.nwire();
    const double base = std::max(w.lambda, 0.001) * 1e-4;
    const double slack = (w.max_r0 + 1) * 1e-12;

    BoxGrid grid(1, 1);
    if (!w.linear) {
        grid = BoxGrid(wire_grid_cell(wires), w.max_r0 + 1);
        for (int v = 0; v < nw; ++v) {
            const Wire& wv = wires[static_cast<size_t>(v)];
            const double lo[3] = {std::min(wv.x1, wv.x2), std::min(wv.y1, wv.y2),
                                  std::min(wv.z1, wv.z2)};
            const double hi[3] = {std::max(wv.x1, wv.x2), std::max(wv.y1, wv.y2),
                                  std::max(wv.z1, wv.z2)};
            grid.insert(v, lo, hi);
        }
    }

    std::vector<int> cand;
    for (int wi = 0; wi < nw; ++wi) {
        const Wire& W = wires[static_cast<size_t>(wi)];
        const double d = W.radius / 2 + base;
        const Vec dW = sub(end_of(W), start_of(W));
        for (int end = 0; end < 2; ++end) {
            const Vec P = end == 0 ? start_of(W) : end_of(W);
            cand.clear();
            if (w.linear) {
                for (int v = 0; v < nw; ++v) cand.push_back(v);
            } else {
                // Every test below needs P within d of wire V's segment.
                double pad = d * (1 + 1e-6) + slack;
                const double lo[3] = {P.x - pad, P.y - pad, P.z - pad};
                const double hi[3] = {P.x + pad, P.y + pad, P.z + pad};
                grid.query(lo, hi, cand);
                std::sort(cand.begin(), cand.end());
            }
            int contacts = 0, touched = -1;
            bool junction = false;
            for (int v : cand) {
                if (v == wi) continue;
                const Wire& V = wires[static_cast<size_t>(v)];
                const Vec vs = start_of(V), ve = end_of(V);
                const bool at_start = norm(sub(P, vs)) < d, at_end = norm(sub(P, ve)) < d;
                if (at_start || at_end) {
                    ++contacts;
                    touched = v;
                    // The contact holds for V's end too, whatever V's own tolerance.
                    if (at_start) free_end[2 * static_cast<size_t>(v)] = 0;
                    if (at_end) free_end[2 * static_cast<size_t>(v) + 1] = 0;
                }
                const Vec dv = sub(ve, vs);
                double t = dot(sub(P, vs), dv) / dot(dv, dv);
                if (t > 1e-9 && t < 0.999999999) {
                    const Vec foot = {vs.x + t * dv.x, vs.y + t * dv.y, vs.z + t * dv.z};
                    if (norm(sub(P, foot)) < d) {
                        bps[static_cast<size_t>(v)].push_back({t, 1});
                        warn(w.mesh,
                             "automatic junction: end of wire %d joined to the middle of wire %d",
                             wi + 1, v + 1);
                        junction = true;
                    }
                }
            }
            if (!junction && contacts >= 2) junction = true;
            if (!junction && contacts == 1) {
                const Wire& V = wires[static_cast<size_t>(touched)];
                const Vec dV = sub(end_of(V), start_of(V));
                double cosang = std::fabs(dot(dW, dV)) / (norm(dW) * norm(dV));
                double ratio = W.radius / V.radius;
                junction = cosang < 0.5 || ratio > 1.5 || ratio < 2.0 / 3.0;
            }
            if (!junction && ground_plane(w.m.ground) && std::fabs(P.z) < d) junction = true;
            if (junction || contacts > 0) free_end[2 * static_cast<size_t>(wi) + end] = 0;
            if (junction) {
                double at = end == 0 ? 0.0 : 1.0;
                for (Breakpoint& b : bps[static_cast<size_t>(wi)])
                    if (std::fabs(b.pos - at) < 1e-12) b.fine = 1;
            }
        }
    }
}

// Sizes of the segments of one automatically divided stretch of length D:
// two lists grow from its ends, each size 1.3 times the previous one up to
// the coarse length; the lists are then scaled to fill D exactly. With
// keep_near (keep_far) the first size at that end keeps its length and the
// others take up the scaling, when there are others. Returns false when
// the stretch needs more segments than one stretch may hold.
bool graded_sizes(double D, double hn, double hf, double coarse, std::vector<double>& out,
                  bool keep_near = false, bool keep_far = false) {
    std::vector<double> near, far;
    double sn = 0, sf = 0;
    while (sn + sf < D && static_cast<int>(near.size() + far.size()) < kMaxSizes) {
        if (sf >= sn) {
            near.push_back(hn);
            sn += hn;
            hn = std::min(coarse, 1.3 * hn);
        } else {
            far.push_back(hf);
            sf += hf;
            hf = std::min(coarse, 1.3 * hf);
        }
    }
    if (sn + sf < D) return false; // the size cap ended the growth
    double total = sn + sf;
    if (near.size() + far.size() >= 2 && total - D > 0.5 * std::min(hn, hf)) {
        if (near.size() < far.size()) {
            total -= far.back();
            far.pop_back();
        } else {
            total -= near.back();
            near.pop_back();
        }
    }
    if (static_cast<int>(near.size() + far.size()) > kMaxStretchSegs) return false;
    double scale = D / total;
    out.clear();
    for (double h : near) out.push_back(h * scale);
    for (size_t k = far.size(); k-- > 0;) out.push_back(far[k] * scale);
    // Keep the end sizes asked for and spread the scaling over the rest.
    const bool kn = keep_near && !out.empty();
    const bool kf = keep_far && !far.empty() && out.size() >= 2;
    double fixed = (kn ? near.front() : 0) + (kf ? far.front() : 0);
    size_t nfixed = (kn ? 1 : 0) + (kf ? 1 : 0);
    if (nfixed > 0 && out.size() > nfixed && fixed < D) {
        double rest = (D - fixed) / (total - fixed);
        for (size_t k = 0; k < out.size(); ++k) {
            bool keep = (kn && k == 0) || (kf && k + 1 == out.size());
            out[k] = keep ? (k == 0 ? near.front() : far.front()) : out[k] / scale * rest;
        }
    }
    return true;
}

// Halves the first (at_end false) or last segment of a stretch toward the
// wire end beside it until the outermost piece is below four radii: a
// segment h becomes h/2, h/4, ..., h/2^n and h/2^n again at the end, so
// the tip is 2 to 4 radii long, neighbours differ by at most a factor 2
// and the pieces add up to h exactly. Returns the number of pieces below
// four radii (the two tips), 0 when the segment is already that short.
int halve_toward_end(std::vector<double>& sizes, bool at_end, double r) {
    const size_t at = at_end ? sizes.size() - 1 : 0;
    std::vector<double> run; // from the inside out
    for (double h = sizes[at]; h >= 4 * r && run.size() < kMaxHalvings; h *= 0.5)
        run.push_back(0.5 * h);
    if (run.empty()) return 0;
    run.push_back(run.back());
    const int tips = run.back() < 4 * r ? 2 : 0;
    if (at_end) {
        sizes.pop_back();
        sizes.insert(sizes.end(), run.begin(), run.end());
    } else {
        sizes.erase(sizes.begin());
        sizes.insert(sizes.begin(), run.rbegin(), run.rend());
    }
    return tips;
}

} // namespace

int segment_native(MeshWork& w) {
    const std::vector<Wire>& wires = w.wires();
    const int nw = w.nwire();
    const double mlen = w.lambda / w.m.segwl; // coarse target length

    // 1. Breakpoints: the wire ends and every port on the wire.
    std::vector<std::vector<Breakpoint>> bps(static_cast<size_t>(nw));
    for (auto& b : bps) {
        b.push_back({0.0, 0});
        b.push_back({1.0, 0});
    }
    for (const Port& p : w.ports) bps[static_cast<size_t>(p.wire)].push_back({p.pos, 1});

    // 2. Contacts of wire ends.
    std::vector<char> free_end(2 * static_cast<size_t>(nw), 1);
    wire_contacts(w, bps, free_end);

    w.seg_lo.assign(static_cast<size_t>(nw), 0);
    w.seg_hi.assign(static_cast<size_t>(nw), 0);
    w.tip_seg.clear();
    std::vector<double> sizes;
    for (int wi = 0; wi < nw; ++wi) {
        const Wire& W = wires[static_cast<size_t>(wi)];
        const double r = W.radius;
        const double ell = std::sqrt((W.x2 - W.x1) * (W.x2 - W.x1) + (W.y2 - W.y1) * (W.y2 - W.y1) +
                                     (W.z2 - W.z1) * (W.z2 - W.z1));

        // 3. Sort and merge breakpoints closer than about 1e-9 of the length.
        std::vector<Breakpoint>& raw = bps[static_cast<size_t>(wi)];
        std::stable_sort(raw.begin(), raw.end(),
                         [](const Breakpoint& x, const Breakpoint& y) { return bp_cmp(x, y) < 0; });
        std::vector<Breakpoint> kept;
        for (const Breakpoint& b : raw) {
            if (!kept.empty() && (b.pos - kept.back().pos) * ell < (ell + 1) * 1e-9)
                kept.back().fine |= b.fine;
            else
                kept.push_back(b);
        }

        // A wire shorter than the merge distance (about a nanometre) would
        // keep a single breakpoint and vanish from the mesh.
        if (kept.size() < 2)
            return set_err(w.err, "wire %d is too short to be meshed (length %g m)", wi + 1, ell);

        // 4. Target lengths.
        double fine = w.m.taper ? std::max(4 * r, mlen / 2.5) : mlen;
        double coarse = mlen;
        const bool explicit_count = W.nseg > 0;
        if (explicit_count) {
            fine = coarse = ell / W.nseg;
        } else if (ell > 0.02 * w.lambda && ell / 5 > 8 * r) {
            coarse = std::min(ell / 5, mlen);
            if (ell / 5 < mlen) fine = std::min(ell / 5, fine);
        }
        if (coarse < 2 * r) {
            coarse = std::min(2 * r, ell);
            fine = std::min(2 * r, ell);
        }

        // 5. Divide each stretch.
        w.seg_lo[static_cast<size_t>(wi)] = w.mesh.nseg();
        int num = 0;
        for (size_t k = 0; k + 1 < kept.size(); ++k) {
            const Breakpoint& b0 = kept[k];
            const Breakpoint& b1 = kept[k + 1];
            double D = (b1.pos - b0.pos) * ell;
            if (!(D > 0)) continue;
            if (explicit_count) {
                // Half-way counts round up whatever the rounding of D / coarse.
                double x = D / coarse;
                double kk = std::max(1.0, std::floor(x + 0.5 + 1e-9 * std::max(1.0, x)));
                if (kk + w.mesh.nseg() > kMaxSegments)
                    return set_err(w.err, "wire %d: too many segments (a mesh holds at most %d)",
                                   wi + 1, kMaxSegments);
                sizes.assign(static_cast<size_t>(kk), D / kk);
            } else {
                double hn = std::min(b0.fine ? fine : coarse, D);
                double hf = std::min(b1.fine ? fine : coarse, D);
                // A free end is a fine breakpoint whose segment is then halved
                // toward the end.
                const bool grade_near = w.m.ends && k == 0 && free_end[2 * static_cast<size_t>(wi)];
                const bool grade_far =
                    w.m.ends && k + 2 == kept.size() && free_end[2 * static_cast<size_t>(wi) + 1];
                if (grade_near) hn = std::min(fine, D);
                if (grade_far) hf = std::min(fine, D);
                if (!graded_sizes(D, hn, hf, coarse, sizes, grade_near, grade_far))
                    return set_err(w.err,
                                   "wire %d needs more than %d segments between two breakpoints; "
                                   "lower segwl or give the wire an explicit segment count",
                                   wi + 1, kMaxStretchSegs);
                // A single segment between two free ends is first cut in two.
                if (grade_near && grade_far && sizes.size() == 1 && sizes[0] >= 8 * r)
                    sizes = {0.5 * D, 0.5 * D};
                int near_tips = grade_near ? halve_toward_end(sizes, false, r) : 0;
                int far_tips = grade_far ? halve_toward_end(sizes, true, r) : 0;
                if (static_cast<double>(sizes.size()) + w.mesh.nseg() > kMaxSegments)
                    return set_err(w.err, "wire %d: too many segments (a mesh holds at most %d)",
                                   wi + 1, kMaxSegments);
                for (int t = 0; t < near_tips; ++t) w.tip_seg.push_back(w.mesh.nseg() + t);
                for (int t = 0; t < far_tips; ++t)
                    w.tip_seg.push_back(w.mesh.nseg() + static_cast<int>(sizes.size()) - 1 - t);
            }
            double a[3], b[3], acc = 0;
            wire_point(W, b0.pos, a);
            for (size_t j = 0; j < sizes.size(); ++j) {
                acc += sizes[j];
                double pos = j + 1 == sizes.size() ? b1.pos : b0.pos + acc / ell;
                wire_point(W, pos, b);
                int s = add_seg(w.mesh, a, b, W, wi, ++num);
                if (!(w.mesh.seg[static_cast<size_t>(s)].len > 0))
                    return set_err(w.err,
                                   "wire %d cannot be divided: its segments would be shorter than "
                                   "the precision of its coordinates",
                                   wi + 1);
                for (int c = 0; c < 3; ++c) a[c] = b[c];
            }
        }
        w.seg_hi[static_cast<size_t>(wi)] = w.mesh.nseg();
    }
    if (w.tip_wires)
        for (int wi : *w.tip_wires)
            for (int s = w.seg_lo[static_cast<size_t>(wi)]; s < w.seg_hi[static_cast<size_t>(wi)];
                 ++s)
                w.tip_seg.push_back(s);
    return 0;
}
