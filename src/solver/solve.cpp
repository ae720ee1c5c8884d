#include "solver/solve.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>

#include "common/text.h"
#include "ground/somm.h"
#include "parallel/par_for.h"
#include "solver/block.h"
#include "solver/kernel.h"
#include "solver/loads.h"
#include "solver/lu.h"
#include "solver/pattern.h"
#include "solver/quadrature.h"

namespace {

constexpr int kSerialColour = 63; // the class whose segments may share unknowns

bool finite(double x) {
    return std::isfinite(x);
}
bool finite(cplx z) {
    return std::isfinite(z.real()) && std::isfinite(z.imag());
}

// Rejects what the solution cannot turn into a meaningful number: it would
// otherwise end as infinities or NaNs in the matrix, or as a silently
// wrong answer (a negative conductivity read as a perfect conductor).
int check_input(const Model& m, const Mesh& mesh, double f, std::string& err) {
    if (!(f > 0) || !finite(f)) return set_err(err, "frequency %g Hz is not positive", f);
    const int n = mesh.nunk();
    if (n == 0) return set_err(err, "the structure has no current unknowns");
    for (int s = 0; s < mesh.nseg(); ++s) {
        const Segment& g = mesh.seg[s];
        const int w = g.wire + 1;
        if (!(g.len > 0) || !finite(g.len))
            return set_err(err, "wire %d: segment %d has length %g m", w, s + 1, g.len);
        if (!(g.radius > 0) || !finite(g.radius))
            return set_err(err, "wire %d: radius %g m is not positive", w, g.radius);
        if (!(g.sigma >= 0) || std::isnan(g.sigma))
            return set_err(err, "wire %d: conductivity %g S/m is negative", w, g.sigma);
        if (!(g.ins_t >= 0) || !finite(g.ins_t) || std::isnan(g.ins_eps) ||
            (g.ins_t > 0 && !(g.ins_eps > 0 && finite(g.ins_eps))))
            return set_err(err,
                           "wire %d: insulation (thickness %g m, permittivity %g) is not valid", w,
                           g.ins_t, g.ins_eps);
    }
    if (m.srcs.empty()) return set_err(err, "no source defined");
    for (int i = 0; i < m.nsrc(); ++i) {
        const Source& s = m.srcs[i];
        if (s.unk < 0 || s.unk >= n)
            return set_err(err, "source %d is not placed on the structure", i + 1);
        if (!finite(s.v))
            return set_err(err, "source %d has a voltage that is not a number", i + 1);
    }
    if (m.srcs[0].v == cplx(0.0))
        return set_err(err, "source 1 has zero voltage: the feed impedance is undefined");
    for (int i = 0; i < m.nload(); ++i) {
        const Load& l = m.loads[i];
        if (!finite(l.r) || !finite(l.l) || !finite(l.c))
            return set_err(err, "load %d has a value that is not a number", i + 1);
        if (l.unk >= n || (l.unk < 0 && !m.is_nec))
            return set_err(err, "load %d is not placed on the structure", i + 1);
        if (l.type == LOAD_CONDUCTIVITY && l.r < 0)
            return set_err(err, "load %d: conductivity %g S/m is negative", i + 1, l.r);
    }
    for (int i = 0; i < m.ntl(); ++i) {
        const TLine& t = m.tls[i];
        if (!finite(t.z0) || !finite(t.len) || !finite(t.vf) || !finite(t.loss) || !finite(t.y11) ||
            !finite(t.y12) || !finite(t.y22) || !finite(t.y1) || !finite(t.y2))
            return set_err(err, "transmission line %d has a value that is not a number", i + 1);
        if (t.loss < 0)
            return set_err(err, "transmission line %d has a negative loss (%g dB/100 m)", i + 1,
                           t.loss);
    }
    if (m.ground == GROUND_REAL || m.ground == GROUND_MININEC) {
        if (!finite(m.eps) || !finite(m.sigma) || !(m.eps > 0) || m.sigma < 0)
            return set_err(err, "ground constants eps=%g sigma=%g S/m are not valid", m.eps,
                           m.sigma);
    }
    if (m.ground == GROUND_PCB) {
        if (!finite(m.pcb_eps) || !(m.pcb_eps >= 1) || !finite(m.pcb_tand) || m.pcb_tand < 0 ||
            !finite(m.pcb_h) || !(m.pcb_h > 0))
            return set_err(err, "board constants eps=%g tand=%g h=%g m are not valid", m.pcb_eps,
                           m.pcb_tand, m.pcb_h);
    }
    if (m.ground < GROUND_FREE || m.ground > GROUND_PCB)
        return set_err(err, "unknown ground kind %d", m.ground);
    return 0;
}

// The Sommerfeld table of a board or of real ground with the Sommerfeld
// option, over the extent of the structure: rho up to 1.01 times the
// reduced distance sqrt(d^2 + a^2) of the diagonal d of the x-y bounding box
// of the segment ends and the largest wire radius a (the correction field
// is read there, see somm_corr_field), zs from twice the lowest end height
// (0 when it touches the ground) to 1.01 times twice the highest. Returns 0
// with t null for the other grounds.
int build_table(const Model& m, const Mesh& mesh, double freq_hz, std::unique_ptr<SommTable>& t,
                std::string& err) {
    t.reset();
    const bool board = m.ground == GROUND_PCB;
    if (!board && !(m.ground == GROUND_REAL && m.somm)) return 0;
    double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
    double amax = 0;
    for (const Segment& g : mesh.seg) {
        amax = std::max(amax, g.radius);
        for (const double* p : {g.a, g.b}) {
            for (int d = 0; d < 3; ++d) {
                lo[d] = std::min(lo[d], p[d]);
                hi[d] = std::max(hi[d], p[d]);
            }
        }
    }
    const double dx = hi[0] - lo[0], dy = hi[1] - lo[1];
    const double rho_max = 1.01 * std::sqrt(dx * dx + dy * dy + amax * amax);
    const double omega = phys::two_pi * freq_hz;
    const cplx eps =
        board ? m.pcb_eps * cplx(1.0, -m.pcb_tand) : cplx(m.eps, -m.sigma / (omega * phys::eps0));
    const LayerMode mode =
        board ? (m.pcb_gnd ? LAYER_GROUNDED_SLAB : LAYER_FREE_SLAB) : LAYER_HALFSPACE;
    // A flat structure asks for one height sum only: the table computes
    // just the zs rows read there.
    const double zs_only = lo[2] == hi[2] ? 2.0 * std::max(lo[2], 0.0) : -1.0;
    return somm_table(freq_hz, eps, mode, board ? m.pcb_h : 0.0, rho_max,
                      2.0 * std::max(lo[2], 0.0), 1.01 * 2.0 * hi[2], t, err, zs_only);
}

} // namespace

bool solve_passive(const Model& m) {
    for (const Load& l : m.loads)
        if (l.r < 0) return false;
    for (const TLine& t : m.tls)
        if (t.z0 == 0 || t.y1.real() < 0 || t.y2.real() < 0) return false;
    return true;
}

std::vector<int> fill_colours(const Mesh& mesh) {
    // Each unknown remembers the colours of the segments it lives on (a bit
    // set of the 64 colours); a segment takes the smallest colour none of
    // its unknowns has seen.
    std::vector<std::uint64_t> used(static_cast<size_t>(mesh.nunk()), 0);
    std::vector<int> colour(static_cast<size_t>(mesh.nseg()), 0);
    for (int s = 0; s < mesh.nseg(); ++s) {
        const int nr = mesh.seg_nref[s];
        const UnkSlot* r = mesh.refs(s);
        std::uint64_t taken = 0;
        for (int i = 0; i < nr; ++i) taken |= used[r[i].unk];
        int c = 0;
        while (c < kSerialColour && (taken >> c & 1u)) ++c;
        colour[s] = c;
        for (int i = 0; i < nr; ++i) used[r[i].unk] |= std::uint64_t{1} << c;
    }
    return colour;
}

namespace {

// The fill arguments of one frequency, without the matrix.
FillArgs fill_args(const Model& m, const Mesh& mesh, double freq_hz, const FillGeom& geom,
                   const SommTable* table, SommFieldFn corr_field, int corr_refine) {
    gauss_init();
    const double omega = phys::two_pi * freq_hz;
    // Ground: complex relative permittivity and the reflection-coefficient flag.
    FillArgs fa;
    fa.mesh = &mesh;
    fa.n = mesh.nunk();
    fa.nseg = mesh.nseg();
    fa.image = m.ground != GROUND_FREE ? 1 : 0;
    fa.refl = m.ground == GROUND_REAL ? 1 : 0;
    fa.k = omega / phys::c0;
    fa.jwmu = cplx(0.0, omega * phys::mu0);
    fa.inv_jweps = 1.0 / cplx(0.0, omega * phys::eps0);
    fa.eps_c = m.ground == GROUND_PCB ? m.pcb_eps * cplx(1.0, -m.pcb_tand)
                                      : cplx(m.eps, -m.sigma / (omega * phys::eps0));
    fa.table = table;
    fa.board_h = m.ground == GROUND_PCB ? m.pcb_h : 0.0;
    fa.corr_refine = std::max(corr_refine, 0);
    fa.corr_field = corr_field;
    fa.geom = &geom;
    return fa;
}

// Fills one colour class after the other; the segments of a class share no
// unknown, so their rows are disjoint. Only the segments for which
// wanted(s) holds are filled.
template <class Wanted> void fill_classes(const Mesh& mesh, FillArgs& fa, Wanted wanted) {
    const std::vector<int> colour = fill_colours(mesh);
    const int ncol = colour.empty() ? 0 : *std::max_element(colour.begin(), colour.end()) + 1;
    std::vector<int> list;
    list.reserve(colour.size());
    for (int c = 0; c < ncol; ++c) {
        list.clear();
        for (int s = 0; s < mesh.nseg(); ++s)
            if (colour[s] == c && wanted(s)) list.push_back(s);
        fa.list = list.data();
        if (c == kSerialColour) {
            for (int i = 0; i < static_cast<int>(list.size()); ++i) fill_seg(i, &fa);
        } else {
            par_for(static_cast<int>(list.size()), fill_seg, &fa);
        }
    }
}

} // namespace

void fill_matrix(const Model& m, const Mesh& mesh, double freq_hz, const FillGeom& geom, cplx* Z,
                 int ld, const SommTable* table, SommFieldFn corr_field, int corr_refine) {
    FillArgs fa = fill_args(m, mesh, freq_hz, geom, table, corr_field, corr_refine);
    fa.matrix = Z;
    fa.ld = ld;
    fill_classes(mesh, fa, [](int) { return true; });
}

void fill_matrix(const Model& m, const Mesh& mesh, double freq_hz, const FillGeom& geom,
                 MatrixPart& part, const SommTable* table, SommFieldFn corr_field,
                 int corr_refine) {
    FillArgs fa = fill_args(m, mesh, freq_hz, geom, table, corr_field, corr_refine);
    fa.part = &part;
    // A segment takes part as a row when one of its unknowns is a row of the
    // part, as a column when one is a column.
    auto holds = [&mesh](const std::vector<int>& at, int s) {
        const UnkSlot* r = mesh.refs(s);
        for (int i = 0; i < mesh.seg_nref[s]; ++i)
            if (at[static_cast<size_t>(r[i].unk)] >= 0) return true;
        return false;
    };
    std::vector<int> cols;
    for (int s : geom.active)
        if (holds(part.col_at, s)) cols.push_back(s);
    fa.cols = cols.data();
    fa.ncols = static_cast<int>(cols.size());
    fill_classes(mesh, fa, [&](int s) { return mesh.seg_nref[s] > 0 && holds(part.row_at, s); });
}

int solve_prepare(const Model& m, const Mesh& mesh, double freq_hz, LineNet& net,
                  std::string& err) {
    if (check_input(m, mesh, freq_hz, err) != 0) return kSolveBadInput;
    if (line_net(m, mesh, freq_hz, net, err) != 0) return kSolveBadInput;
    return 0;
}

int solve_assemble(const Model& m, const Mesh& mesh, double freq_hz, const LineNet& net,
                   const MatrixOut& Z, cplx* rhs, std::string& err) {
    FillGeom geom;
    fill_geom_build(mesh, m.ground != GROUND_FREE, geom);
    // The Sommerfeld table lives for the fill only.
    std::unique_ptr<SommTable> table;
    if (build_table(m, mesh, freq_hz, table, err) != 0) return kSolveBadInput;
    const SommFieldFn field = table ? somm_corr_field : nullptr;
    if (Z.part) {
        fill_matrix(m, mesh, freq_hz, geom, *Z.part, table.get(), field);
        somm_free(table);
        stamp_loads(m, mesh, freq_hz, *Z.part);
        line_stamp(net, *Z.part, rhs);
    } else {
        fill_matrix(m, mesh, freq_hz, geom, Z.dense, Z.ld, table.get(), field);
        somm_free(table);
        stamp_loads(m, mesh, freq_hz, Z.dense, Z.ld);
        line_stamp(net, mesh.nunk(), Z.dense, Z.ld, rhs);
    }
    for (const Source& s : m.srcs) rhs[s.unk] += s.v;
    return 0;
}

int solve_figures(const Model& m, double freq_hz, const LineNet& net, std::vector<cplx>& x,
                  FreqResult& r, std::vector<cplx>& isrc, std::string& err) {
    for (const cplx& v : x) {
        if (!finite(v)) {
            set_err(err, "the currents at %.6g MHz are not finite numbers", freq_hz * 1e-6);
            return kSolveSingular;
        }
    }

    // Terminal current of every source: the wire current of its unknown,
    // plus what the line network draws when the unknown is a line port.
    isrc.assign(static_cast<size_t>(m.nsrc()), cplx(0.0));
    for (int i = 0; i < m.nsrc(); ++i) {
        const Source& s = m.srcs[i];
        isrc[i] = x[s.unk];
        for (int p = 0; p < net.nport(); ++p)
            if (net.port[p] == s.unk) isrc[i] += line_port_current(net, p, x.data());
    }
    const cplx v0 = m.srcs[0].v;
    if (isrc[0] == cplx(0.0)) {
        set_err(err, "no current flows at the first source at %.6g MHz", freq_hz * 1e-6);
        return kSolveSingular;
    }

    r = FreqResult{};
    r.f = freq_hz;
    r.iin = isrc[0];
    r.zin = v0 / isrc[0];
    for (int i = 0; i < m.nsrc(); ++i) r.pin += 0.5 * (m.srcs[i].v * std::conj(isrc[i])).real();
    if (!std::isfinite(r.pin)) {
        set_err(err, "the input power overflows (source voltages out of range)");
        return kSolveBadInput;
    }
    if (!(r.pin > 0) && solve_passive(m)) {
        // A passive structure takes power from its sources: radiation and
        // losses are never negative. A solution that says otherwise comes
        // from a model outside what the kernel can represent (a wire lying
        // in a reflection-coefficient ground, a segment far shorter than
        // its radius), and its figures would be nonsense.
        set_err(err, "the solution is not physical (input power %.3g W of a passive antenna)",
                r.pin);
        return kSolveBadInput;
    }
    const double g = std::abs((r.zin - m.z0ref) / (r.zin + m.z0ref));
    r.swr = (1.0 + g) / std::max(1.0 - g, 1e-12);

    // The wire currents.
    x.resize(x.size() - static_cast<size_t>(net.nextra));
    return 0;
}

int solve_radiated(double prad, FreqResult& r, std::string& err) {
    // Radiated power over the sphere (or the hemisphere above a ground);
    // for a lossless antenna prad = pin, so prad/pin is both the efficiency
    // and the average-gain test. Without input power there is no meaningful
    // ratio: it stays 0.
    if (!std::isfinite(prad)) {
        set_err(err, "the radiated power overflows (source voltages or wire radii out of range)");
        return kSolveBadInput;
    }
    r.prad = prad;
    if (r.pin > 0) r.eff = r.agt = r.prad / r.pin;
    return 0;
}

namespace {

struct FreeDelete {
    void operator()(cplx* p) const { std::free(p); }
};
using Matrix = std::unique_ptr<cplx[], FreeDelete>;

// An n x n matrix of zeros, zeroed in blocks of rows on the workers: the
// first touch of every page of a large matrix costs a page fault and the
// system's clearing of the page, which a single thread would pay for all
// of them.
Matrix zero_matrix(int n) {
    const size_t rows = static_cast<size_t>(n), count = rows * rows;
    void* p = std::malloc(std::max<size_t>(count, 1) * sizeof(cplx));
    if (!p) throw std::bad_alloc();
    Matrix a(static_cast<cplx*>(p));
    constexpr size_t kRows = 64;
    const int blocks = static_cast<int>((rows + kRows - 1) / kRows);
    // About 0.5 ns per byte of a fresh page (fault, clearing and the zeros).
    par_for_sized(blocks, 0.5 * sizeof(cplx) * static_cast<double>(kRows * rows), [&](int b) {
        const size_t r0 = static_cast<size_t>(b) * kRows, r1 = std::min(rows, r0 + kRows);
        std::uninitialized_fill(a.get() + r0 * rows, a.get() + r1 * rows, cplx(0.0));
    });
    return a;
}

} // namespace

int solve_freq(const Model& m, const Mesh& mesh, double freq_hz, std::vector<cplx>& cur,
               FreqResult& res, int want_prad, std::vector<cplx>* src_cur, std::string& err) {
    // Lines first: the voltages of their undriven ports and the currents of
    // their ends enlarge the system, and the matrix is allocated at its
    // final size with Z in the top-left block.
    LineNet net;
    if (solve_prepare(m, mesh, freq_hz, net, err) != 0) return kSolveBadInput;
    const int N = mesh.nunk() + net.nextra;

    Matrix A;
    std::vector<cplx> rhs;
    try {
        A = zero_matrix(N);
        rhs.assign(static_cast<size_t>(N), cplx(0.0));
        MatrixOut Z;
        Z.dense = A.get();
        Z.ld = N;
        if (solve_assemble(m, mesh, freq_hz, net, Z, rhs.data(), err) != 0) return kSolveBadInput;
    } catch (const std::bad_alloc&) {
        set_err(err, "out of memory for the %d x %d impedance matrix", N, N);
        return kSolveNoMemory;
    }

    const int rc = lu_solve(A.get(), rhs.data(), N);
    if (rc == kLuSingular) {
        set_err(err, "singular matrix at %.6g MHz", freq_hz * 1e-6);
        return kSolveSingular;
    }
    if (rc != 0) {
        set_err(err, "out of memory for the %d x %d impedance matrix", N, N);
        return kSolveNoMemory;
    }
    A.reset(); // the factors are not needed any more

    FreqResult r;
    std::vector<cplx> isrc;
    const int frc = solve_figures(m, freq_hz, net, rhs, r, isrc, err);
    if (frc != 0) return frc;
    if (want_prad) {
        const int prc = solve_radiated(prad_integrate(m, mesh, freq_hz, rhs), r, err);
        if (prc != 0) return prc;
    }
    // The caller's vectors take the results only on success.
    cur = std::move(rhs);
    res = r;
    if (src_cur) *src_cur = isrc;
    return 0;
}
