// The NEC card deck reader: the cards and their fields, the geometry
// transformations, the repaired taper, reflection and line-admittance
// handling, and decks that are damaged or hostile.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <numbers>
#include <string>

#include "model/model.h"
#include "model/nec.h"
#include "nec_text.h"
#include "test_support.h"

namespace {

Model read_ok(const std::string& text) {
    Model m;
    std::string err;
    EXPECT_EQ(read_nec_text(text, m, err), 0) << err << "\n" << text;
    return m;
}

void expect_wire(const Wire& w, double x1, double y1, double z1, double x2, double y2, double z2,
                 double tol = 1e-12) {
    EXPECT_NEAR(w.x1, x1, tol);
    EXPECT_NEAR(w.y1, y1, tol);
    EXPECT_NEAR(w.z1, z1, tol);
    EXPECT_NEAR(w.x2, x2, tol);
    EXPECT_NEAR(w.y2, y2, tol);
    EXPECT_NEAR(w.z2, z2, tol);
}

using cplx = std::complex<double>;

// ---------------------------------------------------------------------------
// Cards read into the model: one deck and what it must give.

struct DeckCase {
    const char* name;
    const char* deck;
    std::function<void(const Model&)> check;
};

void PrintTo(const DeckCase& c, std::ostream* os) {
    *os << c.name;
}

class NecCards : public ::testing::TestWithParam<DeckCase> {};

TEST_P(NecCards, Reads) {
    Model m = read_ok(GetParam().deck);
    GetParam().check(m);
}

const DeckCase kCardCases[] = {
    {"CenterFedDipole",
     "GW 1 21 0 0 -5 0 0 5 0.001\nGE 0\nEX 0 1 11 0 1 0\nFR 0 1 0 0 14.2 0\nEN\n",
     [](const Model& m) {
         ASSERT_EQ(m.nwire(), 1);
         const Wire& w = m.wires[0];
         EXPECT_EQ(w.tag, 1);
         EXPECT_EQ(w.nseg, 21);
         expect_wire(w, 0, 0, -5, 0, 0, 5);
         EXPECT_EQ(w.radius, 0.001);
         EXPECT_EQ(w.sigma, -1); // the model's material fills it in later
         EXPECT_TRUE(w.name.empty());
         ASSERT_EQ(m.nsrc(), 1);
         EXPECT_EQ(m.srcs[0].tag, 1);
         EXPECT_EQ(m.srcs[0].seg, 11);
         EXPECT_EQ(m.srcs[0].wire, -1);
         EXPECT_EQ(m.srcs[0].path, -1);
         EXPECT_EQ(m.srcs[0].v, cplx(1, 0));
         EXPECT_EQ(m.ground, GROUND_FREE);
         EXPECT_DOUBLE_EQ(m.f0, 14.2e6);
         EXPECT_EQ(m.nfreq, 0);
     }},
    {"CommaSeparatedLowerCase", "gw,3,5,0,0,0,,0,0,2,0.002\nex,0,3,3,0,0,1\nfr,0,1,0,0,7.1\n",
     [](const Model& m) {
         ASSERT_EQ(m.nwire(), 1);
         EXPECT_EQ(m.wires[0].tag, 3);
         EXPECT_EQ(m.wires[0].nseg, 5);
         expect_wire(m.wires[0], 0, 0, 0, 0, 0, 2); // the empty field collapses
         EXPECT_EQ(m.wires[0].radius, 0.002);
         ASSERT_EQ(m.nsrc(), 1);
         EXPECT_EQ(m.srcs[0].v, cplx(0, 1));
         EXPECT_DOUBLE_EQ(m.f0, 7.1e6);
     }},
    {"MissingFieldsReadAsZero", "GW 1 3 0 0 0 0 0 1 0.001\nEX 0 1\nLD 4 1\n",
     [](const Model& m) {
         ASSERT_EQ(m.nsrc(), 1);
         EXPECT_EQ(m.srcs[0].seg, 0);
         EXPECT_EQ(m.srcs[0].v, cplx(1, 0)); // no voltage given: 1 V
         ASSERT_EQ(m.nload(), 1);
         EXPECT_EQ(m.loads[0].type, LOAD_IMPEDANCE);
         EXPECT_EQ(m.loads[0].seg1, 0);
         EXPECT_EQ(m.loads[0].r, 0);
     }},
    {"ComplexSourceAndType5", "GW 1 3 0 0 0 0 0 1 0.001\nEX 0 1 2 0 2 -1.5\nEX 5 1 3 0 0 0\n",
     [](const Model& m) {
         ASSERT_EQ(m.nsrc(), 2);
         EXPECT_EQ(m.srcs[0].v, cplx(2, -1.5));
         EXPECT_EQ(m.srcs[1].seg, 3);
         EXPECT_EQ(m.srcs[1].v, cplx(1, 0));
     }},
    {"OtherCardsIgnored",
     "CM test\nCE\nGW 1 3 0 0 0 0 0 1 0.001\nGE 0\nPT -1\nEK\nKH 0.1\nNE 0 1 1 1 0 0 0\n"
     "XQ\nRP 0 37 73 1000 0 0 5 5\nZZ 1 2 3\nG\nGC 0 0 1 2 3\n ' comment\n! note\n"
     "GE 1\n",
     [](const Model& m) {
         ASSERT_EQ(m.nwire(), 1);
         EXPECT_EQ(m.wires[0].radius, 0.001);
         EXPECT_EQ(m.ground, GROUND_PERFECT); // the cards after the ignored ones still count
     }},
    {"LeadingBlankIsNoCard", " GW 1 3 0 0 0 0 0 1 0.001\nGW 2 3 0 0 0 0 0 1 0.001\n",
     [](const Model& m) {
         ASSERT_EQ(m.nwire(), 1);
         EXPECT_EQ(m.wires[0].tag, 2);
     }},
    {"EnStopsReading", "GW 1 3 0 0 0 0 0 1 0.001\nEN\nEX 1 1 1 0 1 0\nGW 2 3 0 0 0 0 0 1 0.001\n",
     [](const Model& m) { EXPECT_EQ(m.nwire(), 1); }},
    {"NextStructureEndsTheFirst",
     "GW 1 3 0 0 0 0 0 1 0.001\nEX 0 1 2 0 1 0\nFR 0 1 0 0 10\nXQ\nNX\n"
     "CM second structure\nGW 7 9 5 5 5 6 6 6 0.01\nEN\n",
     [](const Model& m) {
         ASSERT_EQ(m.nwire(), 1);
         EXPECT_EQ(m.wires[0].tag, 1);
         EXPECT_TRUE(m.title.empty());
     }},
    {"DeckWithoutEn",
     "GW 1 3 0 0 0 0 0 1 0.001\nEX 0 1 2 0 1 0\nFR 0 1 0 0 10", // no final line end either
     [](const Model& m) {
         EXPECT_EQ(m.nwire(), 1);
         EXPECT_DOUBLE_EQ(m.f0, 10e6);
     }},

    // Titles from comments.
    {"TitleFromSecondCommentWhenFirstIsEmpty", "CM\nCM Yagi\nCM later\nCE\n",
     [](const Model& m) { EXPECT_EQ(m.title, "Yagi"); }},
    {"TitleKeepsTrailingSpacesDropsLineEnd", "CM   20 m  dipole  \r\nCE\n",
     [](const Model& m) { EXPECT_EQ(m.title, "20 m  dipole  "); }},
    {"TitleFromCeAndTabKept", "CE\tHB9CV\n", [](const Model& m) { EXPECT_EQ(m.title, "\tHB9CV"); }},

    // Ground.
    {"GeOneWithoutGnIsPerfect", "GE 1\n",
     [](const Model& m) { EXPECT_EQ(m.ground, GROUND_PERFECT); }},
    {"GeMinusOneIsPerfect", "GE -1\n", [](const Model& m) { EXPECT_EQ(m.ground, GROUND_PERFECT); }},
    {"GeZeroIsFreeSpace", "GE 0\n", [](const Model& m) { EXPECT_EQ(m.ground, GROUND_FREE); }},
    {"GeOneThenSommerfeldGround", "GE 1\nGN 2 0 0 0 13 0.005\n",
     [](const Model& m) {
         EXPECT_EQ(m.ground, GROUND_REAL);
         EXPECT_EQ(m.somm, 1);
         EXPECT_EQ(m.eps, 13);
         EXPECT_EQ(m.sigma, 0.005);
     }},
    {"ReflectionCoefficientGround", "GN 0 0 0 0 10 0.01\n",
     [](const Model& m) {
         EXPECT_EQ(m.ground, GROUND_REAL);
         EXPECT_EQ(m.somm, 0);
         EXPECT_EQ(m.eps, 10);
         EXPECT_EQ(m.sigma, 0.01);
     }},
    {"GnPerfectThenBackToFreeSpace", "GE 1\nGN 1\nGN -1\n",
     [](const Model& m) { EXPECT_EQ(m.ground, GROUND_FREE); }},
    {"GnBeforeGeKeepsRealGround", "GN 0 0 0 0 5 0.001\nGE 1\n",
     [](const Model& m) { EXPECT_EQ(m.ground, GROUND_REAL); }},

    // Frequencies.
    {"AdditiveSweep", "FR 0 11 0 0 14 0.05\n",
     [](const Model& m) {
         EXPECT_DOUBLE_EQ(m.fstart, 14.0e6);
         EXPECT_NEAR(m.fstop, 14.5e6, 1e-3);
         EXPECT_EQ(m.nfreq, 11);
         EXPECT_NEAR(m.f0, 14.25e6, 1e-3);
     }},
    {"MultiplicativeSweep", "FR 1 3 0 0 10 2\n",
     [](const Model& m) {
         EXPECT_DOUBLE_EQ(m.fstart, 10e6);
         EXPECT_DOUBLE_EQ(m.fstop, 40e6);
         EXPECT_EQ(m.nfreq, 3);
         EXPECT_DOUBLE_EQ(m.f0, 25e6);
     }},
    // The run solves the frequencies of the first FR card; a later one is
    // named in a warning and changes nothing.
    {"LaterFrCardIsIgnored", "FR 0 11 0 0 14 0.05\nFR 0 1 0 0 14.2\n",
     [](const Model& m) {
         EXPECT_EQ(m.nfreq, 11);
         EXPECT_DOUBLE_EQ(m.f0, 14.25e6);
         ASSERT_EQ(m.warnings.size(), 1u);
         EXPECT_EQ(m.warnings[0],
                   "line 2: FR: ignored; the run uses the frequencies of the FR card on line 1");
     }},

    // Loads.
    {"LdMinusOneClearsEarlierLoads",
     "LD 0 1 2 2 10 1e-6 0\nLD 5 0 0 0 5.8e7\nLD -1\nLD 1 3 1 1 100\n",
     [](const Model& m) {
         ASSERT_EQ(m.nload(), 1);
         EXPECT_EQ(m.loads[0].type, LOAD_PARALLEL);
         EXPECT_EQ(m.loads[0].tag, 3);
         EXPECT_EQ(m.loads[0].r, 100);
     }},
    {"ImpedanceLoad", "LD 4 1 5 5 50 -20\n",
     [](const Model& m) {
         ASSERT_EQ(m.nload(), 1);
         const Load& l = m.loads[0];
         EXPECT_EQ(l.type, LOAD_IMPEDANCE);
         EXPECT_EQ(l.tag, 1);
         EXPECT_EQ(l.seg1, 5);
         EXPECT_EQ(l.seg2, 5);
         EXPECT_EQ(l.r, 50);
         EXPECT_EQ(l.l, -20);
         EXPECT_EQ(l.c, 0);
         EXPECT_EQ(l.wire, -1);
         EXPECT_EQ(l.unk, -1);
     }},
    {"SeriesRlcRange", "LD 2 4 3 7 1.5 2e-7 3e-12\n",
     [](const Model& m) {
         ASSERT_EQ(m.nload(), 1);
         const Load& l = m.loads[0];
         EXPECT_EQ(l.type, LOAD_SERIES_PER_LEN);
         EXPECT_EQ(l.seg1, 3);
         EXPECT_EQ(l.seg2, 7);
         EXPECT_EQ(l.r, 1.5);
         EXPECT_EQ(l.l, 2e-7);
         EXPECT_EQ(l.c, 3e-12);
     }},

    // Lines and networks.
    {"ReversedLine", "TL 1 1 2 1 -50 0\n",
     [](const Model& m) {
         ASSERT_EQ(m.ntl(), 1);
         const TLine& t = m.tls[0];
         EXPECT_EQ(t.tag1, 1);
         EXPECT_EQ(t.seg1, 1);
         EXPECT_EQ(t.tag2, 2);
         EXPECT_EQ(t.seg2, 1);
         EXPECT_EQ(t.z0, 50);
         EXPECT_EQ(t.rev, 1);
         EXPECT_EQ(t.len, 0);
         EXPECT_EQ(t.vf, 1.0);
         EXPECT_EQ(t.loss, 0);
         EXPECT_EQ(t.y11, cplx(0, 0));
         EXPECT_EQ(t.y1, cplx(0, 0));
         EXPECT_EQ(t.wire1, -1);
         EXPECT_EQ(t.wire2, -1);
     }},
    {"LineWithShuntAdmittances", "TL 1 11 3 1 75 3.52 0.01 -0.02 1e10 0\n",
     [](const Model& m) {
         ASSERT_EQ(m.ntl(), 1);
         const TLine& t = m.tls[0];
         EXPECT_EQ(t.z0, 75);
         EXPECT_EQ(t.rev, 0);
         EXPECT_EQ(t.len, 3.52);
         EXPECT_EQ(t.y1, cplx(0.01, -0.02));
         EXPECT_EQ(t.y2, cplx(1e10, 0));
         EXPECT_EQ(t.y11, cplx(0, 0)); // still a line, not a network
     }},
    {"Network", "NT 1 2 3 4 0.1 0.2 0.3 0.4 0.5 0.6\n",
     [](const Model& m) {
         ASSERT_EQ(m.ntl(), 1);
         const TLine& t = m.tls[0];
         EXPECT_EQ(t.tag1, 1);
         EXPECT_EQ(t.seg2, 4);
         EXPECT_EQ(t.z0, 0);
         EXPECT_EQ(t.y11, cplx(0.1, 0.2));
         EXPECT_EQ(t.y12, cplx(0.3, 0.4));
         EXPECT_EQ(t.y22, cplx(0.5, 0.6));
     }},
    {"AllZeroNetworkStaysANetwork", "NT 1 2 3 4\n",
     [](const Model& m) {
         ASSERT_EQ(m.ntl(), 1);
         EXPECT_EQ(m.tls[0].y11, cplx(1e-12, 0));
         EXPECT_EQ(m.tls[0].z0, 0);
     }},
};

INSTANTIATE_TEST_SUITE_P(Deck, NecCards, ::testing::ValuesIn(kCardCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(NecTitle, CutTo255Characters) {
    Model m = read_ok("CM " + std::string(400, 'x') + "\n");
    EXPECT_EQ(m.title, std::string(255, 'x'));
}

// ---------------------------------------------------------------------------
// Geometry cards.

TEST(NecGeometry, GrFourCopiesAboutZ) {
    Model m = read_ok("GW 5 3 1 0 0 2 0 1 0.001\nGR 0 4\n");
    ASSERT_EQ(m.nwire(), 4);
    expect_wire(m.wires[0], 1, 0, 0, 2, 0, 1);
    expect_wire(m.wires[1], 0, 1, 0, 0, 2, 1); // 90 degrees, exactly on the axis
    expect_wire(m.wires[2], -1, 0, 0, -2, 0, 1);
    expect_wire(m.wires[3], 0, -1, 0, 0, -2, 1);
    for (const Wire& w : m.wires) {
        EXPECT_EQ(w.tag, 5);
        EXPECT_EQ(w.nseg, 3);
        EXPECT_EQ(w.radius, 0.001);
    }
}

TEST(NecGeometry, GrRaisesTagsPerCopyAndKeepsTagZero) {
    Model m = read_ok("GW 1 1 1 0 0 2 0 0 0.001\nGW 0 1 0 0 0 1 0 0 0.001\nGR 10 3\n");
    ASSERT_EQ(m.nwire(), 6);
    const int tags[] = {1, 0, 11, 0, 21, 0};
    for (int k = 0; k < 6; ++k) EXPECT_EQ(m.wires[k].tag, tags[k]) << k;
    double c = std::cos(2 * std::numbers::pi / 3), s = std::sin(2 * std::numbers::pi / 3);
    expect_wire(m.wires[2], c, s, 0, 2 * c, 2 * s, 0, 1e-12);
    expect_wire(m.wires[4], c, -s, 0, 2 * c, -2 * s, 0, 1e-12);
}

TEST(NecGeometry, GrWithFewerThanTwoDoesNothing) {
    for (const char* card : {"GR 1 1\n", "GR 1 0\n", "GR 1 -4\n"}) {
        Model m = read_ok(std::string("GW 1 1 1 0 0 2 0 0 0.001\n") + card);
        EXPECT_EQ(m.nwire(), 1) << card;
    }
}

TEST(NecGeometry, GxReflectsInOrderAndRaisesTags) {
    // Tens digit: y -> -y first (+10); then hundreds: x -> -x of both (+20).
    Model m = read_ok("GW 1 3 1 2 3 4 5 6 0.001\nGX 10 110\n");
    ASSERT_EQ(m.nwire(), 4);
    expect_wire(m.wires[0], 1, 2, 3, 4, 5, 6);
    expect_wire(m.wires[1], 1, -2, 3, 4, -5, 6);
    expect_wire(m.wires[2], -1, 2, 3, -4, 5, 6);
    expect_wire(m.wires[3], -1, -2, 3, -4, -5, 6);
    const int tags[] = {1, 11, 21, 31};
    for (int k = 0; k < 4; ++k) EXPECT_EQ(m.wires[k].tag, tags[k]) << k;
}

// A reflected copy keeps its end order (only the coordinate is negated), so
// a source on it drives the image in the mirrored sense; with three
// reflections the tags of all eight images stay distinct.
TEST(NecGeometry, GxThreeReflectionsKeepEndsAndDistinctTags) {
    Model m = read_ok("GW 1 3 1 2 3 4 5 6 0.001\nGW 0 1 0 0 0 1 1 1 0.001\nGX 10 111\n");
    ASSERT_EQ(m.nwire(), 16);
    // Images of the tagged wire in creation order: z, then y of both, then x
    // of all four, as the NEC-2 programs number them.
    const int sx[] = {1, 1, 1, 1, -1, -1, -1, -1};
    const int sy[] = {1, 1, -1, -1, 1, 1, -1, -1};
    const int sz[] = {1, -1, 1, -1, 1, -1, 1, -1};
    const int tags[] = {1, 11, 21, 31, 41, 51, 61, 71};
    for (int k = 0; k < 8; ++k) {
        const Wire& w = m.wires[2 * k];
        expect_wire(w, sx[k] * 1.0, sy[k] * 2.0, sz[k] * 3.0, sx[k] * 4.0, sy[k] * 5.0,
                    sz[k] * 6.0);
        EXPECT_EQ(w.tag, tags[k]) << k;
        EXPECT_EQ(m.wires[2 * k + 1].tag, 0) << k;
    }
}

TEST(NecGeometry, GxPairOfDipolesForW8jk) {
    Model m = read_ok("GW 1 11 0.6 -5 10 0.6 5 10 0.001\nGX 1 100\n");
    ASSERT_EQ(m.nwire(), 2);
    expect_wire(m.wires[1], -0.6, -5, 10, -0.6, 5, 10); // same direction as its source
    EXPECT_EQ(m.wires[1].tag, 2);
}

TEST(NecGeometry, GmRotatesInPlace) {
    Model m = read_ok("GW 3 5 1 0 0 2 0 0 0.001\nGM 0 0 0 0 90\n");
    ASSERT_EQ(m.nwire(), 1);
    expect_wire(m.wires[0], 0, 1, 0, 0, 2, 0);
    EXPECT_EQ(m.wires[0].tag, 3);
}

TEST(NecGeometry, GmCopiesWithTranslation) {
    Model m = read_ok("GW 1 7 0 -1 0 0 1 0 0.002\nGM 1 2 0 0 0 0 0 1\n");
    ASSERT_EQ(m.nwire(), 3);
    for (int g = 0; g < 3; ++g) {
        expect_wire(m.wires[g], 0, -1, g, 0, 1, g);
        EXPECT_EQ(m.wires[g].tag, 1 + g);
        EXPECT_EQ(m.wires[g].nseg, 7);
        EXPECT_EQ(m.wires[g].radius, 0.002);
    }
}

// Rotation about x, then y, then z, then the translation; reference ends
// computed independently (matrix product Rz Ry Rx), and the segment centre
// agrees with the NEC-2 program's listing for this card (1.9188, -2.2081,
// 4.1974 after the GS 2.5).
TEST(NecGeometry, GmGeneralRotationThenScale) {
    Model m = read_ok("GW 1 1 0.3 -0.2 0.5 1.1 0.7 -0.4 0.001\nGM 0 0 30 40 50 0.5 -1.5 2\n"
                      "GW 2 1 0 0 0 0 1 0 0.001\nGS 0 0 2.5\n");
    ASSERT_EQ(m.nwire(), 2);
    expect_wire(m.wires[0], 2.7737697247492763, -3.580017525698447, 5.155665617166524,
                1.0638221165053712, -0.8362476262518476, 3.239209012922184, 1e-12);
    expect_wire(m.wires[1], 0, 0, 0, 0, 2.5, 0);
    EXPECT_DOUBLE_EQ(m.wires[0].radius, 0.0025);
    EXPECT_DOUBLE_EQ(m.wires[1].radius, 0.0025);
}

TEST(NecGeometry, GmGenerationsCompoundAndStartAtTag) {
    // Only the wires from tag 2 on are copied; each generation is the one
    // before turned once more, 90 degrees about z.
    Model m = read_ok("GW 1 1 1 0 0 2 0 0 0.001\nGW 2 1 1 0 1 2 0 1 0.001\n"
                      "GW 3 1 1 0 2 2 0 2 0.001\nGM 10 2 0 0 90 0 0 0 2\n");
    ASSERT_EQ(m.nwire(), 7);
    expect_wire(m.wires[3], 0, 1, 1, 0, 2, 1);
    expect_wire(m.wires[4], 0, 1, 2, 0, 2, 2);
    expect_wire(m.wires[5], -1, 0, 1, -2, 0, 1);
    expect_wire(m.wires[6], -1, 0, 2, -2, 0, 2);
    const int tags[] = {1, 2, 3, 12, 13, 22, 23};
    for (int k = 0; k < 7; ++k) EXPECT_EQ(m.wires[k].tag, tags[k]) << k;
}

TEST(NecGeometry, GmStartTagWrittenAsReal) {
    Model m = read_ok("GW 1 1 0 0 0 1 0 0 0.001\nGW 2 1 0 1 0 1 1 0 0.001\n"
                      "GM 0 0 0 0 0 0 0 5 2.0E+00\n");
    expect_wire(m.wires[0], 0, 0, 0, 1, 0, 0);
    expect_wire(m.wires[1], 0, 1, 5, 1, 1, 5);
}

TEST(NecGeometry, GmNamingAMissingTagOrNegativeRepeatDoesNothing) {
    for (const char* card : {"GM 1 1 0 0 0 0 0 1 9\n", "GM 1 -1 0 0 0 0 0 1\n"}) {
        Model m = read_ok(std::string("GW 1 1 0 0 0 1 0 0 0.001\n") + card);
        ASSERT_EQ(m.nwire(), 1) << card;
        expect_wire(m.wires[0], 0, 0, 0, 1, 0, 0);
    }
}

// Arc and helix points; the segment centres also match the NEC-2 program's
// listing for these cards.
TEST(NecGeometry, GaArcInXzPlane) {
    Model m = read_ok("GA 4 4 2 10 100 0.003\n");
    ASSERT_EQ(m.nwire(), 4);
    for (int k = 0; k < 4; ++k) {
        double a1 = (10 + 22.5 * k) * std::numbers::pi / 180,
               a2 = (10 + 22.5 * (k + 1)) * std::numbers::pi / 180;
        const Wire& w = m.wires[k];
        expect_wire(w, 2 * std::cos(a1), 0, 2 * std::sin(a1), 2 * std::cos(a2), 0, 2 * std::sin(a2),
                    1e-12);
        EXPECT_EQ(w.tag, 4);
        EXPECT_EQ(w.nseg, 1);
        EXPECT_EQ(w.radius, 0.003);
    }
    EXPECT_NEAR((m.wires[0].x1 + m.wires[0].x2) / 2, 1.8282, 1e-4);
    EXPECT_NEAR((m.wires[0].z1 + m.wires[0].z2) / 2, 0.7109, 1e-4);
}

TEST(NecGeometry, GhTaperedHelix) {
    // Two turns over 1 m, radius 0.3 m growing to 0.4 m, five wires.
    Model m = read_ok("GH 2 5 0.5 1.0 0.3 0.3 0.4 0.4 0.001\n");
    ASSERT_EQ(m.nwire(), 5);
    for (int k = 0; k < 5; ++k) {
        double u1 = k / 5.0, u2 = (k + 1) / 5.0;
        double r1 = 0.3 + 0.1 * u1, r2 = 0.3 + 0.1 * u2;
        double p1 = 4 * std::numbers::pi * u1, p2 = 4 * std::numbers::pi * u2;
        expect_wire(m.wires[k], r1 * std::cos(p1), r1 * std::sin(p1), u1, r2 * std::cos(p2),
                    r2 * std::sin(p2), u2, 1e-12);
        EXPECT_EQ(m.wires[k].tag, 2);
        EXPECT_EQ(m.wires[k].nseg, 1);
    }
    const Wire& w = m.wires[0];
    EXPECT_NEAR((w.x1 + w.x2) / 2, 0.0206, 1e-4);
    EXPECT_NEAR((w.y1 + w.y2) / 2, 0.0940, 1e-4);
}

// An elliptical section: A in x, B in y, each tapering from start to end;
// the segment centres and lengths are nec2c's for the same card.
TEST(NecGeometry, GhEllipticalHelix) {
    Model m = read_ok("GH 3 6 0.5 1 0.3 0.6 0.4 0.2 0.001\n");
    ASSERT_EQ(m.nwire(), 6);
    const double ref[6][4] = {{0.0708, 0.2309, 0.0833, 0.6717},  {-0.1625, 0.0289, 0.2500, 0.8820},
                              {0.0917, -0.2021, 0.4167, 0.6768}, {0.0833, 0.1443, 0.5833, 0.6289},
                              {-0.1875, 0.0289, 0.7500, 0.5458}, {0.1042, -0.1155, 0.9167, 0.6566}};
    for (int k = 0; k < 6; ++k) {
        const Wire& w = m.wires[static_cast<size_t>(k)];
        EXPECT_NEAR((w.x1 + w.x2) / 2, ref[k][0], 1e-4) << k;
        EXPECT_NEAR((w.y1 + w.y2) / 2, ref[k][1], 1e-4) << k;
        EXPECT_NEAR((w.z1 + w.z2) / 2, ref[k][2], 1e-4) << k;
        EXPECT_NEAR(std::hypot(w.x2 - w.x1, w.y2 - w.y1, w.z2 - w.z1), ref[k][3], 1e-4) << k;
    }
    // Blank B fields give the circular helix of radii A.
    Model c = read_ok("GH 3 6 0.5 1 0.3 0 0.4 0 0.001\n");
    Model e = read_ok("GH 3 6 0.5 1 0.3 0.3 0.4 0.4 0.001\n");
    for (int k = 0; k < 6; ++k)
        expect_wire(c.wires[k], e.wires[k].x1, e.wires[k].y1, e.wires[k].z1, e.wires[k].x2,
                    e.wires[k].y2, e.wires[k].z2, 0);
}

TEST(NecGeometry, GhNegativeLengthWindsLeftHanded) {
    Model l = read_ok("GH 1 8 0.5 -1.0 0.3 0 0.3 0 0.001\n");
    Model r = read_ok("GH 1 8 0.5 1.0 0.3 0 0.3 0 0.001\n");
    ASSERT_EQ(l.nwire(), 8);
    for (int k = 0; k < 8; ++k) {
        EXPECT_NEAR(l.wires[k].y2, -r.wires[k].y2, 1e-12);
        EXPECT_NEAR(l.wires[k].x2, r.wires[k].x2, 1e-12);
        EXPECT_NEAR(l.wires[k].z2, r.wires[k].z2, 1e-12);
        EXPECT_GT(l.wires[k].z2, 0);
    }
}

TEST(NecGeometry, ArcAndHelixDefaultCounts) {
    EXPECT_EQ(read_ok("GA 1 0 1 0 90 0.001\n").nwire(), 8);
    EXPECT_EQ(read_ok("GH 1 -3 0.2 1 0.1 0 0.1 0 0.001\n").nwire(), 16);
}

TEST(NecGeometry, GsScalesEarlierWiresOnly) {
    Model m = read_ok("GW 1 3 0 0 0 100 0 0 0.1\nGS 0 0 0.01\nGW 2 3 0 0 0 2 0 0 0.001\n");
    expect_wire(m.wires[0], 0, 0, 0, 1, 0, 0);
    EXPECT_DOUBLE_EQ(m.wires[0].radius, 0.001);
    expect_wire(m.wires[1], 0, 0, 0, 2, 0, 0);
    EXPECT_EQ(m.wires[1].radius, 0.001);
}

// ---------------------------------------------------------------------------
// The taper card after a wire without radius: segment lengths growing by
// RDEL (GC field 3) from one segment to the next, radii from RAD1 (field 4)
// to RAD2 (field 5) in the same geometric way. The tables are nec2c's
// segmentation data for the same decks (centre z, length and radius,
// printed to 0.1 mm and 0.1 mm).

struct TaperSeg {
    double zc, len, radius;
};

TEST(NecTaper, TaperedWireAsNec2Segments) {
    const struct {
        const char* deck;
        TaperSeg seg[5];
    } cases[] = {
        {"GW 1 5 0 0 0 0 0 1 0\nGC 0 0 1.2 0.001 0.004\n",
         {{0.0672, 0.1344, 0.0010},
          {0.2150, 0.1613, 0.0014},
          {0.3924, 0.1935, 0.0020},
          {0.6052, 0.2322, 0.0028},
          {0.8607, 0.2786, 0.0040}}},
        {"GW 1 5 0 0 0 0 0 1 -1\ngc,0,0,0.8,0.003,0.001\n",
         {{0.1487, 0.2975, 0.0030},
          {0.4165, 0.2380, 0.0023},
          {0.6307, 0.1904, 0.0017},
          {0.8020, 0.1523, 0.0013},
          {0.9391, 0.1218, 0.0010}}},
    };
    for (const auto& c : cases) {
        Model m = read_ok(c.deck);
        ASSERT_EQ(m.nwire(), 5) << c.deck;
        for (int k = 0; k < 5; ++k) {
            const Wire& w = m.wires[static_cast<size_t>(k)];
            EXPECT_EQ(w.tag, 1);
            EXPECT_EQ(w.nseg, 1);
            EXPECT_NEAR((w.z1 + w.z2) / 2, c.seg[k].zc, 6e-5) << c.deck << " segment " << k + 1;
            EXPECT_NEAR(w.z2 - w.z1, c.seg[k].len, 6e-5) << c.deck << " segment " << k + 1;
            EXPECT_NEAR(w.radius, c.seg[k].radius, 6e-5) << c.deck << " segment " << k + 1;
        }
        EXPECT_EQ(m.wires[4].z2, 1.0); // the last segment ends on the wire's end
    }
}

TEST(NecTaper, UntaperedCardKeepsOneWire) {
    Model m = read_ok("GW 1 5 0 0 0 0 0 1 0\nGC 0 0 1 0.002 0.002\n");
    ASSERT_EQ(m.nwire(), 1);
    EXPECT_EQ(m.wires[0].nseg, 5);
    EXPECT_EQ(m.wires[0].radius, 0.002);
    // A card that is not a taper card stays a card of its own, and the wire
    // without radius is refused.
    Model n;
    std::string err;
    EXPECT_EQ(read_nec_text("GW 1 5 0 0 0 0 0 1 0\nGW 2 5 0 0 1 0 0 2 0.004\n", n, err), -1);
    EXPECT_EQ(err, "line 1: GW needs a radius");
}

TEST(NecTaper, TaperCardIsConsumedAndCountedAsALine) {
    Model m;
    std::string err;
    EXPECT_EQ(read_nec_text("GW 1 5 0 0 0 0 0 1 0.001\nEX 1 1 1 0 1 0\n", m, err), -1);
    EXPECT_EQ(err, "line 2: only voltage sources (EX 0) are supported");
    // With a taper card the EX card is the third line.
    EXPECT_EQ(read_nec_text("GW 1 5 0 0 0 0 0 1 0\nGC 0 0 1 0.001 0.001\nEX 1 1 1 0 1 0\n", m, err),
              -1);
    EXPECT_EQ(err, "line 3: only voltage sources (EX 0) are supported");
}

// ---------------------------------------------------------------------------
// Bad input: a one-line message naming the card's line, never a crash, a
// hang or an exhausted memory.

struct BadCase {
    const char* deck;
    const char* message;
};

class NecBadInput : public ::testing::TestWithParam<BadCase> {};

TEST_P(NecBadInput, RejectedWithLine) {
    Model m;
    std::string err;
    EXPECT_EQ(read_nec_text(GetParam().deck, m, err), -1);
    EXPECT_EQ(err, GetParam().message);
    EXPECT_LE(m.nwire(), kNecMaxSegments);
}

INSTANTIATE_TEST_SUITE_P(
    Deck, NecBadInput,
    ::testing::Values(
        BadCase{"CM x\nGW 1 3 0 0 0 0 0 1 0.001\nEX 1 1 1 0 1 0\n",
                "line 3: only voltage sources (EX 0) are supported"},
        BadCase{"EX 2 1 1\n", "line 1: only voltage sources (EX 0) are supported"},
        BadCase{"EX 4 1 1\n", "line 1: only voltage sources (EX 0) are supported"},
        BadCase{"EX -1 1 1\n", "line 1: only voltage sources (EX 0) are supported"},
        BadCase{"EX 6 1 1\n", "line 1: only voltage sources (EX 0) are supported"},
        BadCase{"EX 0 1 1 0 nan 0\n", "line 1: EX voltage must be finite numbers"},
        // Segment counts.
        BadCase{"GW 1 0 0 0 0 0 0 1 0.001\n", "line 1: GW needs at least one segment (got 0)"},
        BadCase{"GW 1 -5 0 0 0 0 0 1 0.001\n", "line 1: GW needs at least one segment (got -5)"},
        BadCase{"GW 1 1000000000 0 0 0 0 0 1 0.001\n",
                "line 1: GW would bring the deck to 1000000000 segments (at most 50000)"},
        BadCase{"GW 1 99999999999999 0 0 0 0 0 1 0.001\n",
                "line 1: GW would bring the deck to 2147483647 segments (at most 50000)"},
        BadCase{"GW 1 30000 0 0 0 0 0 1 0.001\nGW 2 30000 0 0 1 0 0 2 0.001\n",
                "line 2: GW would bring the deck to 60000 segments (at most 50000)"},
        BadCase{"GA 1 1000000000 1 0 90 0.001\n",
                "line 1: GA would bring the deck to 1000000000 segments (at most 50000)"},
        BadCase{"GH 1 2000000000 0.1 1 0.1 0 0.1 0 0.001\n",
                "line 1: GH would bring the deck to 2000000000 segments (at most 50000)"},
        // Copies beyond the limit are refused before any is made.
        BadCase{"GW 1 10 0 0 0 0 0 1 0.001\nGM 1 1000000000 0 0 0 0 0 1\n",
                "line 2: GM would bring the deck to 10000000010 segments (at most 50000)"},
        BadCase{"GW 1 10 0 0 0 0 0 1 0.001\nGR 1 2147483647\n",
                "line 2: GR would bring the deck to 21474836470 segments (at most 50000)"},
        BadCase{"GW 1 10000 0 0 0 0 0 1 0.001\nGX 1 111\n",
                "line 2: GX would bring the deck to 80000 segments (at most 50000)"},
        // Numbers that are not finite.
        BadCase{"GW 1 3 0 0 nan 0 0 1 0.001\n",
                "line 1: GW coordinates and radius must be finite numbers"},
        BadCase{"GW 1 3 0 0 0 0 0 inf 0.001\n",
                "line 1: GW coordinates and radius must be finite numbers"},
        BadCase{"GW 1 3 0 0 0 0 0 1e999 0.001\n",
                "line 1: GW coordinates and radius must be finite numbers"},
        BadCase{"GW 1 3 0 0 0 0 0 1 NaN\n",
                "line 1: GW coordinates and radius must be finite numbers"},
        BadCase{"GW 1 3 0 0 0 0 0 1 0\nGC 0 0 1 nan 0.001\n",
                "line 2: GC radii must be finite numbers"},
        // A wire without radius and without a usable taper card.
        BadCase{"GW 1 5 0 0 0 0 0 1 0", "line 1: GW needs a radius"},
        BadCase{"GW 1 5 0 0 0 0 0 1\nEX 0 1 3 0 1 0\n", "line 1: GW needs a radius"},
        BadCase{"GW 1 5 0 0 0 0 0 1 0\nGC 0 0 1.1\n", "line 2: GC needs positive end radii"},
        BadCase{"GW 1 5 0 0 0 0 0 1 0\nGC 0 0 1 0.001 -0.003\n",
                "line 2: GC needs positive end radii"},
        BadCase{"GW 1 5 0 0 0 0 0 1 0\nGC 0 0 0 0.001 0.002\n",
                "line 2: GC needs a positive ratio of segment lengths (got 0)"},
        BadCase{"GA 1 4 inf 0 90 0.001\n", "line 1: GA values must be finite numbers"},
        BadCase{"GA 1 4 1 0 90 0\n", "line 1: GA needs a positive wire radius"},
        BadCase{"GH 1 4 0.1 nan 0.1 0 0.1 0 0.001\n", "line 1: GH values must be finite numbers"},
        BadCase{"GH 1 4 0 1 0.1 0 0.1 0 0.001\n", "line 1: GH needs a non-zero turn spacing"},
        BadCase{"GH 1 4 0.1 1 0.1 0 0.1\n", "line 1: GH needs a positive wire radius"},
        BadCase{"GH 1 4 1e-320 1 0.1 0 0.1 0 0.001\n",
                "line 1: GH makes coordinates that are not finite"},
        BadCase{"GW 1 3 0 0 0 0 0 1 0.001\nGM 0 0 0 0 inf\n",
                "line 2: GM values must be finite numbers"},
        BadCase{"GW 1 3 0 0 0 0 0 1 0.001\nGM 0 1 0 0 0 1e308\nGM 0 1 0 0 0 1e308\n",
                "line 3: GM makes coordinates that are not finite"},
        BadCase{"GW 1 3 0 0 0 0 0 1 0.001\nGS 0 0 0\n",
                "line 2: GS needs a positive finite scale factor"},
        BadCase{"GW 1 3 0 0 0 0 0 1 0.001\nGS\n",
                "line 2: GS needs a positive finite scale factor"},
        BadCase{"GW 1 3 0 0 0 0 0 1 0.001\nGS 0 0 -1\n",
                "line 2: GS needs a positive finite scale factor"},
        BadCase{"GW 1 3 0 0 0 0 0 1e300 0.001\nGS 0 0 1e10\n",
                "line 2: GS makes coordinates that are not finite"},
        // Tags that would leave the integer range.
        BadCase{"GW 2000000000 3 0 0 0 0 0 1 0.001\nGM 2000000000 1 0 0 0 0 0 1\n",
                "line 2: GM tag increment takes tag 2000000000 out of the integer range"},
        BadCase{"GW 5 3 0 0 0 0 0 1 0.001\nGX 1000000000 111\n",
                "line 2: GX tag increment takes tag 1000000005 out of the integer range"},
        // Electrical cards.
        BadCase{"LD 6 1 1 1 50\n", "line 1: LD type 6 is not a load type (0 to 5, or -1)"},
        BadCase{"LD -2\n", "line 1: LD type -2 is not a load type (0 to 5, or -1)"},
        BadCase{"LD 0 1 1 1 inf\n", "line 1: LD values must be finite numbers"},
        BadCase{"TL 1 1 2 1 0 0\n", "line 1: TL needs a non-zero characteristic impedance"},
        BadCase{"TL 1 1 2 1 50 0 0 0 nan\n", "line 1: TL values must be finite numbers"},
        BadCase{"NT 1 1 2 1 inf\n", "line 1: NT admittances must be finite numbers"},
        BadCase{"GN 2\n",
                "line 1: GN needs finite ground constants: permittivity >= 1, conductivity >= 0"},
        BadCase{"GN 0 0 0 0 13 -1\n",
                "line 1: GN needs finite ground constants: permittivity >= 1, conductivity >= 0"},
        BadCase{"GN 0 0 0 0 inf 0.005\n",
                "line 1: GN needs finite ground constants: permittivity >= 1, conductivity >= 0"},
        BadCase{"FR 0 1 0 0 0\n", "line 1: FR needs a positive frequency (got 0 MHz)"},
        BadCase{"FR 0 1 0 0 -14\n", "line 1: FR needs a positive frequency (got -14 MHz)"},
        BadCase{"FR 0 1 0 0 nan\n", "line 1: FR values must be finite numbers"},
        BadCase{"FR 0 11 0 0 14 -2\n",
                "line 1: FR sweep of 11 steps of -2 does not end at a positive frequency"},
        BadCase{"FR 1 3 0 0 10 0\n",
                "line 1: FR sweep of 3 steps of 0 does not end at a positive frequency"},
        BadCase{"FR 1 1000 0 0 10 10\n",
                "line 1: FR sweep of 1000 steps of 10 does not end at a positive frequency"},
        // Structure that cannot be represented.
        BadCase{"GW 1 3 0 0 0 0 0 1 0.001\nSP 0 0 0 0 1 0 0 0.1\n",
                "line 2: surface patches (SP) are not supported"},
        BadCase{"SM 4 4 0 0 0 1 0 0\n", "line 1: surface patches (SM) are not supported"},
        BadCase{"GF 0\n", "line 1: structures read from a Green's function file (GF) are not "
                          "supported"}));

TEST(NecBadInput, SegmentLimitItselfIsAccepted) {
    Model m = read_ok("GW 1 25000 0 0 0 0 0 100 0.001\nGX 1 001\n");
    EXPECT_EQ(m.nwire(), 2);
    Model g = read_ok("GW 1 1 0 0 0 1 0 0 0.001\nGR 1 50000\n");
    EXPECT_EQ(g.nwire(), 50000);
}

TEST(NecBadInput, OverlongLineIsOneLine) {
    // A comment longer than a line buffer: its tail (which reads like a
    // plane-wave card) is not taken as a card, and the next line is line 2.
    std::string deck = "CM " + std::string(1100, 'x') + "EX 1 1 1 0 1 0\nEX 3 1 1\n";
    Model m;
    std::string err;
    EXPECT_EQ(read_nec_text(deck, m, err), -1);
    EXPECT_EQ(err, "line 2: only voltage sources (EX 0) are supported");
    EXPECT_EQ(m.title.size(), 255u);
}

TEST(NecBadInput, BinaryAndEmptyDecksReadWithoutHarm) {
    std::string junk;
    for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 7919 + 13) % 256);
    junk += std::string("\0GW 1 1 0 0 0 1 0 0 0.001\n", 27);
    const std::string decks[] = {"", "\n\n\n", "G", "EN", junk, std::string(5000, '\n')};
    for (const std::string& d : decks) {
        Model m;
        std::string err;
        int rc = read_nec_text(d, m, err);
        EXPECT_TRUE(rc == 0 || err.rfind("line ", 0) == 0) << err;
    }
}

// ---------------------------------------------------------------------------
// Through model_read: the format choice and the checks after reading.

struct FormatCase {
    const char* file;
    const char* text;
    int is_nec;
};

TEST(NecFormat, ChosenByExtensionOrFirstCard) {
    const char* deck = "GW 1 9 0 0 0 0 0 1 0.001\nEX 0 1 5 0 1 0\nFR 0 1 0 0 144\nEN\n";
    const FormatCase cases[] = {
        {"a.nec", deck, 1},
        {"b.NEC2", "TITLE not a deck\n", 1},
        {"c.txt", deck, 1},
        {"d.ant", "\n\n# comment\n; another\nCM dipole\nGW 1 9 0 0 0 0 0 1 0.001\n", 1},
        {"e.ant", "ce\nGW 1 9 0 0 0 0 0 1 0.001\n", 1},
        {"f.ant", "Gw,1,9,0,0,0,0,0,1,0.001\n", 1},
        {"g.ant", "GWX 1\n", 0},
        {"h.ant", "GW", 0},
        {"i.ant", "  CM indented\n", 0},
        {"j.nec.ant", "WIRE 0 0 0 0 0 1 r=0.001\n", 0},
    };
    for (const FormatCase& c : cases) {
        Model m;
        std::string err;
        model_read(write_file(c.file, c.text), m, err);
        EXPECT_EQ(m.is_nec, c.is_nec) << c.file << ": " << err;
    }
}

TEST(NecFormat, CompleteDeckPassesTheModelChecks) {
    std::string path = write_file("dipole.NEC", "CM 2 m dipole\nGW 1 9 0 -0.5 0 0 0.5 0 0.003\n"
                                                "EX 0 1 5 0 1 0\nFR 0 5 0 0 144 0.5\nEN\n");
    Model m;
    std::string err;
    ASSERT_EQ(model_read(path, m, err), 0) << err;
    EXPECT_EQ(m.is_nec, 1);
    EXPECT_EQ(m.title, "2 m dipole");
    EXPECT_EQ(m.wires[0].sigma, 0); // perfect conductor unless an LD 5 says otherwise
    EXPECT_DOUBLE_EQ(m.f0, 145e6);
    EXPECT_DOUBLE_EQ(m.fmax, 146e6);
}

TEST(NecFormat, ModelChecksAfterReading) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"CM empty\nEN\n", "no wires defined"},
        {"GW 1 9 0 0 0 0 0 1 0.001\nEX 0 1 5\n", "no frequency (FREQ) given"},
        {"GW 1 9 0 0 0 0 0 1 0.001\nFR 0 1 0 0 10\n", "no source defined"},
        {"GW 1 9 0 0 0 0 0 1 0.001\nEX 0 1 5\nFR 0 1 0 0 10\nEX 1 1 1\n",
         "line 4: only voltage sources (EX 0) are supported"},
    };
    for (const auto& c : cases) {
        Model m;
        std::string err;
        EXPECT_EQ(model_read(write_file("x.nec", c.text), m, err), -1);
        EXPECT_EQ(err, c.message);
    }
}

TEST(NecFormat, TitleDefaultsToPath) {
    std::string path =
        write_file("untitled.nec", "GW 1 9 0 0 0 0 0 1 0.001\nEX 0 1 5\nFR 0 1 0 0 10\n");
    Model m;
    std::string err;
    ASSERT_EQ(model_read(path, m, err), 0) << err;
    EXPECT_EQ(m.title, path);
}

} // namespace
