// NEC decks as people write them: fields that are not numbers, the dialects
// of other programs, SY symbols, the cards that are read but not modelled
// (each said in one warning line), and the RP card's pattern steps.
#include <gtest/gtest.h>

#include <complex>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "model/expr.h"
#include "model/model.h"
#include "model/nec.h"
#include "nec_text.h"
#include "test_support.h"

namespace {

// ---------------------------------------------------------------------------
// Fields that are not numbers, and dialects: refused with the line.

struct Refused {
    const char* deck;
    const char* message;
};

TEST(NecFields, TextThatIsNoNumberIsRefused) {
    const Refused cases[] = {
        // A letter O for a zero, in an integer and in a real field.
        {"GW 1 1O 0 0 -5 0 0 5 0.001\n", "line 1: GW: field 2 is not a number ('1O')"},
        {"CM x\nGW 1 11 0 0 -5 0 0 5 O.001\n", "line 2: GW: field 9 is not a number ('O.001')"},
        // A symbol that no SY card defines.
        {"GW 1 11 0 0 -h 0 0 h 0.001\n", "line 1: GW: field 5 is not a number ('-h')"},
        {"SY h=5\nGW 1 11 0 0 -h 0 0 hh 0.001\n", "line 2: GW: field 8 is not a number ('hh')"},
        {"GW 1 11 0 0 -5 0 0 5 0.001\nFR 0 1 0 0 14.2MHz\n",
         "line 2: FR: field 5 is not a number ('14.2MHz')"},
        {"GW 1 11 0 0 -5 0 0 5 0.001\nEX 0 1 six 0 1 0\n",
         "line 2: EX: field 3 is not a number ('six')"},
        // A segment count or number that is not whole.
        {"GW 1 10.5 0 0 -5 0 0 5 0.001\n", "line 1: GW: field 2 is not a whole number ('10.5')"},
        {"SY n=21/2\nGW 1 n 0 0 -5 0 0 5 0.001\n",
         "line 2: GW: field 2 is not a whole number ('n')"},
        // Segment fields in percent (another program's dialect).
        {"GW 1 11 0 0 -5 0 0 5 0.001\nEX 0 1 50% 0 1 0\n",
         "line 2: EX: field 3 is a position in percent ('50%'), as another program writes it; "
         "NEC cards take a segment number"},
        {"LD 4 1 3 60% 10\n", "line 1: LD: field 4 is a position in percent ('60%'), as another "
                              "program writes it; NEC cards take a segment number"},
        // A percentage in a real field is no number, and no segment either.
        {"GW 1 11 0 0 -5 0 0 5% 0.001\n", "line 1: GW: field 8 is not a number ('5%')"},
        // GS with a tag range: only those tags scaled in that dialect.
        {"GW 1 11 0 0 -5 0 0 5 0.001\nGS 1 1 0.3048\n",
         "line 2: GS with a tag range (1 to 1) scales only those tags in another program's "
         "dialect; NEC-2 scales every wire: leave fields 1 and 2 blank"},
        // A flat spiral: NEC-2's helix divides by its length.
        {"GH 1 16 0.1 0 0.05 0.05 0.3 0.3 0.001\n",
         "line 1: GH with zero length (a flat spiral) is not supported: describe the spiral with "
         "GW cards"},
        // SY cards that do not define anything.
        {"SY h\n", "line 1: SY needs name=value"},
        {"SY =3\n", "line 1: SY needs name=value"},
        {"SY h=sqr(2)\n", "line 1: SY: cannot evaluate 'sqr(2)'"},
        {"SY a=1, b=a+c\n", "line 1: SY: cannot evaluate 'a+c'"},
        // t is a symbol like any other: undefined, it is no number.
        {"GW 1 11 0 0 -t 0 0 5 0.001\n", "line 1: GW: field 5 is not a number ('-t')"},
    };
    for (const Refused& c : cases) {
        Model m;
        std::string err;
        EXPECT_EQ(read_nec_text(c.deck, m, err), -1) << c.deck;
        EXPECT_EQ(err, c.message) << c.deck;
    }
}

TEST(NecFields, NumbersAsDecksWriteThem) {
    Model m;
    std::string err;
    // 10.0 in an integer field, exponents, a sign, a comment after a single
    // quote, and words after the last field the card uses.
    ASSERT_EQ(read_nec_text("GW 1 10.0 0 0 -5E0 0 0 +5 1.0e-3 dipole arm 'the wire\n"
                            "EX 0 1 5 0 1 0 'feed\nFR 0 1 0 0 14.2 'MHz\n",
                            m, err),
              0)
        << err;
    ASSERT_EQ(m.nwire(), 1);
    EXPECT_EQ(m.wires[0].nseg, 10);
    EXPECT_EQ(m.wires[0].z1, -5);
    EXPECT_EQ(m.wires[0].radius, 0.001);
    EXPECT_DOUBLE_EQ(m.f0, 14.2e6);
    EXPECT_TRUE(m.warnings.empty());
}

// ---------------------------------------------------------------------------
// SY: symbols evaluated in order, several per card, names in any case;
// later fields hold symbols or expressions. The deck reads as the same
// model as its expansion by hand.

const char* kSyDeck = "CM two elements from symbols\n"
                      "CE\n"
                      "SY f=14.2, lam=299.792458/f  'wavelength in m\n"
                      "SY H=10, len=0.48*lam\n"
                      "SY n = 21 s=0.2*lam, r=1.5e-3\n"
                      "SY t=2\n"
                      "GW 1 n 0 -len/2 h 0 len/2 h r\n"
                      "GW t N -S -len*0.52 h -s len*0.52 H R\n"
                      "GE 1\n"
                      "GN 0 0 0 0 13 0.005\n"
                      "EX 0 1 (n+1)/2 0 1 0\n"
                      "LD 5 0 0 0 5.8e7\n"
                      "FR 0 1 0 0 f 0\n"
                      "EN\n";

std::string sy_by_hand() {
    const double f = 14.2, lam = 299.792458 / f, len = 0.48 * lam, s = 0.2 * lam;
    char deck[1024];
    std::snprintf(deck, sizeof deck,
                  "CM two elements from symbols\nCE\n"
                  "GW 1 21 0 %.17g 10 0 %.17g 10 1.5e-3\n"
                  "GW 2 21 %.17g %.17g 10 %.17g %.17g 10 1.5e-3\n"
                  "GE 1\nGN 0 0 0 0 13 0.005\nEX 0 1 11 0 1 0\nLD 5 0 0 0 5.8e7\n"
                  "FR 0 1 0 0 14.2 0\nEN\n",
                  -len / 2, len / 2, -s, -len * 0.52, -s, len * 0.52);
    return deck;
}

TEST(NecSymbols, DeckReadsAsItsExpansionByHand) {
    Model a, b;
    std::string err;
    ASSERT_EQ(read_nec_text(kSyDeck, a, err), 0) << err;
    ASSERT_EQ(read_nec_text(sy_by_hand(), b, err), 0) << err;
    ASSERT_EQ(a.nwire(), 2);
    ASSERT_EQ(b.nwire(), 2);
    for (size_t k = 0; k < 2; ++k) {
        const Wire &x = a.wires[k], &y = b.wires[k];
        EXPECT_EQ(x.tag, y.tag);
        EXPECT_EQ(x.nseg, y.nseg);
        const double xa[] = {x.x1, x.y1, x.z1, x.x2, x.y2, x.z2, x.radius};
        const double ya[] = {y.x1, y.y1, y.z1, y.x2, y.y2, y.z2, y.radius};
        for (int i = 0; i < 7; ++i) EXPECT_EQ(xa[i], ya[i]) << "wire " << k + 1 << " value " << i;
    }
    ASSERT_EQ(a.nsrc(), 1);
    EXPECT_EQ(a.srcs[0].seg, 11);
    EXPECT_EQ(a.f0, b.f0);
    EXPECT_EQ(a.ground, b.ground);
    EXPECT_EQ(a.nload(), 1);
    EXPECT_TRUE(a.warnings.empty());
}

// ---------------------------------------------------------------------------
// Cards read but not modelled: one warning line per kind, naming the first
// card's line and the others'. Cards that change nothing in the figures are
// silent.

struct Warned {
    const char* name;
    const char* deck;
    std::vector<std::string> warnings;
};

TEST(NecWarnings, OneLinePerKindOfCard) {
    const Warned cases[] = {
        {"NearFields",
         "NE 0 1 1 1 0 0 0 0 0 0\nNE 0 2 2 2 0 0 0 1 1 1\nNH 0 1 1 1 0 0 0\n",
         {"line 1: NE: near fields are not computed (also line 2)",
          "line 3: NH: near fields are not computed"}},
        {"RadialScreen",
         "GN 0 120 0 0 13 0.005 10 0.001\n",
         {"line 1: GN: the radial ground screen (120 radials) is not modelled; the ground is the "
          "plain lossy ground without it"}},
        {"SecondMedium",
         "GN 2 0 0 0 13 0.005 5 0.001 20 0\n",
         {"line 1: GN: the second ground medium is not modelled; the ground is the first medium "
          "everywhere"}},
        {"PerfectGroundIgnoresScreenFields", "GN 1 120 0 0 0 0 10 0.001\n", {}},
        {"CliffGround",
         "GD 0 0 0 0 10 0.01 5 0\n",
         {"line 1: GD: the second ground medium of the far field is not modelled"}},
        {"ExtendedKernel",
         "EK\nEK 0\n",
         {"line 1: EK: the extended thin-wire kernel is not used; the run uses the reduced kernel "
          "(also line 2)"}},
        {"UsualKernel", "EK -1\n", {}},
        {"FurtherFrequencies",
         "FR 0 1 0 0 14\nXQ\nFR 0 1 0 0 21\nXQ\nFR 0 5 0 0 28 0.1\n",
         {"line 3: FR: ignored; the run uses the frequencies of the FR card on line 1 (also line "
          "5)"}},
        {"MultiplicativeSteps",
         "FR 1 3 0 0 10 2\n",
         {"line 1: FR: the 3 frequencies in steps of x2 are run in equal steps from 10 to 40 "
          "MHz"}},
        {"UnknownCards",
         "ZZ 1 2 3\nIS 0 1 0 0 3 0.001 0.001\nZZ\n",
         {"line 1: card 'ZZ' is not known and is ignored (also line 3)",
          "line 2: card 'IS' is not known and is ignored"}},
        {"StrayTaperCard",
         "GW 1 5 0 0 0 0 0 1 0.001\nGC 0 0 1 0.001 0.002\n",
         {"line 2: GC: a taper card that does not follow a GW card without radius is ignored"}},
        {"IndentedCard",
         " GW 2 5 0 0 1 0 0 2 0.001\n",
         {"line 1: a card that starts with a blank is not read"}},
        {"NextStructure",
         "FR 0 1 0 0 14\nNX\nGW 9 5 0 0 1 0 0 2 0.001\nEN\n",
         {"line 2: NX: only the first structure of the deck is read"}},
        {"NextStructureThenEnd", "NX\nEN\n", {}},
        {"FineRpStep",
         "RP 0 1801 1 1000 0 0 0.05 0\n",
         {"line 1: RP: a step of 0.05 deg is finer than the pattern grid takes (0.1 deg)"}},
        // Cards after the execution card that ends the first run describe a
        // further run, which is not computed.
        {"FurtherRun",
         "EX 0 1 6 0 1 0\nFR 0 1 0 0 14\nXQ\nEX 0 1 5 0 1 0\nLD 5 1 0 0 5.8e7\nRP 0 19 73 1000 0 0 "
         "5 5\nLD -1\nGN 1\nTL 1 2 1 4 50 0\nNT 1 2 1 4 0 0 0 0 0 0\nEK\nGD 0 0 0 0 10 0.01 5 0\n"
         "FR 0 1 0 0 21\nXQ\n",
         {"line 4: EX: ignored; it belongs to a further run after the XQ card on line 3, and only "
          "the first run of a deck is computed",
          "line 5: LD: ignored; it belongs to a further run after the XQ card on line 3, and only "
          "the first run of a deck is computed (also line 7)",
          "line 8: GN: ignored; it belongs to a further run after the XQ card on line 3, and only "
          "the first run of a deck is computed",
          "line 9: TL: ignored; it belongs to a further run after the XQ card on line 3, and only "
          "the first run of a deck is computed",
          "line 10: NT: ignored; it belongs to a further run after the XQ card on line 3, and only "
          "the first run of a deck is computed",
          "line 11: EK: ignored; it belongs to a further run after the XQ card on line 3, and only "
          "the first run of a deck is computed",
          "line 12: GD: ignored; it belongs to a further run after the XQ card on line 3, and only "
          "the first run of a deck is computed",
          "line 13: FR: ignored; the run uses the frequencies of the FR card on line 2"}},
        // RP, NE and NH end the run too; an execution card before the FR
        // card does not (the run is the FR card's).
        {"RunEndedByRp",
         "FR 0 1 0 0 14\nRP 0 19 73 1000 0 0 5 5\nLD 5 1 0 0 5.8e7\n",
         {"line 3: LD: ignored; it belongs to a further run after the RP card on line 2, and only "
          "the first run of a deck is computed"}},
        {"RunEndedByNe",
         "FR 0 1 0 0 14\nNE 0 1 1 1 0 0 0\nEX 0 1 6 0 1 0\n",
         {"line 2: NE: near fields are not computed",
          "line 3: EX: ignored; it belongs to a further run after the NE card on line 2, and only "
          "the first run of a deck is computed"}},
        {"ExecutionBeforeFr",
         "XQ\nRP 0 19 73 1000 0 0 5 5\nEX 0 1 6 0 1 0\nFR 0 1 0 0 14\nLD 5 1 0 0 5.8e7\nEX 0 1 "
         "5 0 1 0\nXQ\nRP 0 1 361 1000 90 0 0 1\nPT -1\nXQ\n",
         {}},
        {"SilentCards",
         "CM c\nCE\nXQ\nPT -1\nPQ -1\nCP 1 1 2 1\nKH 0.1\nWG\nRP 0 19 73 1000 0 0 5 5\n"
         "RP 0 1 361 1000 90 0 0 1\n' a comment\n! a note\n# more\n   \n\nEN\n",
         {}},
    };
    for (const Warned& c : cases) {
        Model m;
        std::string err;
        ASSERT_EQ(read_nec_text(c.deck, m, err), 0) << c.name << ": " << err;
        EXPECT_EQ(m.warnings, c.warnings) << c.name;
    }
}

// The run computed is the first one: its sources and loads, not those of
// the runs that follow (which NEC-2 would compute with the sources of the
// later EX cards alone, and the loads added to the earlier ones).
TEST(NecWarnings, OnlyTheFirstRunsCardsAreTaken) {
    Model m;
    std::string err;
    ASSERT_EQ(read_nec_text("GW 1 11 0 0 -5 0 0 5 0.001\nGE 1\nGN 1\nEX 0 1 6 0 1 0\n"
                            "LD 0 1 3 3 10 0 0\nFR 0 1 0 0 14\nEX 0 1 4 0 1 0\nXQ\nEX 0 1 5 0 2 0\n"
                            "LD 0 1 9 9 10 0 0\nGN -1\nXQ\nEN\n",
                            m, err),
              0)
        << err;
    ASSERT_EQ(m.nsrc(), 2);
    EXPECT_EQ(m.srcs[0].seg, 6);
    EXPECT_EQ(m.srcs[1].seg, 4);
    EXPECT_EQ(m.srcs[1].v, std::complex<double>(1, 0));
    ASSERT_EQ(m.nload(), 1);
    EXPECT_EQ(m.loads[0].seg1, 3);
    EXPECT_EQ(m.ground, GROUND_PERFECT);
    EXPECT_EQ(m.warnings.size(), 3u);
}

// ---------------------------------------------------------------------------
// RP: the first card's steps become the pattern grid's steps (when it asks
// for more than one angle); later RP cards change nothing.

TEST(NecPattern, FirstRpSetsTheGridSteps) {
    const struct {
        const char* cards;
        double dth, dph;
    } cases[] = {
        {"RP 0 19 73 1000 0 0 5 5\nRP 0 91 1 1000 0 0 1 0\n", 5, 5},
        {"RP 0 37 24 1000 0 0 2.5 15\n", 2.5, 15},
        {"RP 0 1 361 1000 80 0 0 1\n", 2, 1},   // one theta: its step is not a step
        {"RP 0 181 1 1000 -90 0 -1 0\n", 1, 5}, // a cut downward, one phi
        {"RP 0 19 73 1000 0 0 0.05 5\n", 2, 5}, // too fine: the grid's own step stays
        {"", 2, 5},                             // no RP card: the defaults
    };
    for (const auto& c : cases) {
        Model m;
        std::string err;
        ASSERT_EQ(read_nec_text(std::string("GW 1 11 0 0 -5 0 0 5 0.001\n") + c.cards, m, err), 0)
            << err;
        EXPECT_EQ(m.dth, c.dth) << c.cards;
        EXPECT_EQ(m.dph, c.dph) << c.cards;
    }
}

} // namespace
